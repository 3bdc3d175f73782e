"""kvbase.Error: a failure of the library, with its code, its text and the trace of the call."""


class Error(Exception):
    """A library call failed.

    Attributes:
        code: the K_ERRORS value of the failure (1000 or more).
        text: the library's text for that code.
        traces: the names the failing call traced, innermost first, for example
            ["KDrawImageInWindow (BW8 ROI)", "KROI::Draw"]. Empty when the trace mode is TRACE_SILENT.
    """

    def __init__(self, code, text, traces=()):
        super().__init__(code, text, list(traces))
        self.code = code
        self.text = text
        self.traces = list(traces)

    def __str__(self):
        where = f" (in {' < '.join(self.traces)})" if self.traces else ""
        return f"{self.text} [error {self.code}]{where}"


Error.__module__ = "kvbase"
