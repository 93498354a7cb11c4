"""The one error type of the package."""


class EarshotError(Exception):
    """A failure of earshot or of its process.

    The message is earshot's own "error" text when it wrote one.
    """
