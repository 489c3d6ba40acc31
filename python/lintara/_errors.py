"""The exception lintara raises for what the driver refuses or reports."""


class DriverError(RuntimeError):
    """The driver refused a call, or a recording failed.

    ``str(error)`` says what failed; ``last_error`` holds the driver's own
    LastError text at that moment ("" when the driver gave none).
    """

    def __init__(self, message, last_error=""):
        super().__init__(message)
        self.last_error = last_error

    def __str__(self):
        text = super().__str__()
        return f"{text}: {self.last_error}" if self.last_error else text
