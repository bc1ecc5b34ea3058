"""The `vorlik` command-line tool."""

from .cli import main

__all__ = ["main"]
