"""The package as help() shows it: every public name documented."""

import inspect
import pydoc

import lintara


def test_every_public_name_has_a_docstring():
    undocumented = []
    for name in lintara.__all__:
        item = getattr(lintara, name)
        if inspect.isclass(item) or inspect.isfunction(item):
            if not inspect.getdoc(item):
                undocumented.append(name)
            for member, value in vars(item).items() if inspect.isclass(item) else ():
                if not member.startswith("_") and not inspect.getdoc(value):
                    undocumented.append(f"{name}.{member}")
    assert undocumented == []
    text = pydoc.render_doc(lintara, renderer=pydoc.plaintext)
    assert "class Driver" in text and "record(self, duration=None, kadrs=None, volts=False)" in text
