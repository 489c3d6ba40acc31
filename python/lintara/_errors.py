"""The exception lintara raises for what the driver refuses or reports."""


class DriverError(RuntimeError):
    """The driver refused a call, or a recording failed.

    ``str(error)`` says what failed; ``reason`` holds the driver's own text
    for it ("" when the driver gave none): its LastError, or why a recording
    ended by itself. ``partial`` holds what a recording that ended early
    brought (an array of the kadrs that came, codes or volts as asked);
    None for other failures.
    """

    def __init__(self, message, reason="", partial=None):
        super().__init__(message)
        self.reason = reason
        self.partial = partial

    def __str__(self):
        text = super().__str__()
        return f"{text}: {self.reason}" if self.reason else text
