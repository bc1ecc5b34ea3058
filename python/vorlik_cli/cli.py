"""The `vorlik` command: diff, apply, frames and manifests from the shell."""

from __future__ import annotations

import argparse
import json
import os
import sys
from collections.abc import Callable, Sequence
from typing import BinaryIO

import vorlik
import vorlik_stream
import vorlik_tree
from vorlik_stream.session import Codec

from .pretty import indent

CODECS: dict[str, Codec] = {"json": vorlik_stream.JSON, "msgpack": vorlik_stream.MSGPACK}
U64_MAX = 2**64 - 1

BAD_INPUT = 1
BAD_USAGE = 2


class InputError(Exception):
    """An input that cannot be read; its text goes to standard error as it is."""


class Findings(Exception):
    """A tree that does not fit its schemas: the findings are printed, the exit status is 1."""


def _version() -> str:
    try:
        from importlib.metadata import version

        return version("vorlik")
    except Exception:  # not installed, e.g. run from a build tree
        return str(getattr(vorlik, "__version__", "unknown"))


def _read_bytes(name: str) -> bytes:
    try:
        if name == "-":
            return sys.stdin.buffer.read()
        with open(name, "rb") as f:
            return f.read()
    except OSError as e:
        raise InputError(f"cannot read {name}: {e.strerror}") from None


def _read_text(name: str) -> str:
    data = _read_bytes(name)
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError as e:
        shown = "standard input" if name == "-" else name
        raise InputError(f"{shown} is not UTF-8 text: invalid byte at offset {e.start}") from None


def _rev(text: str) -> int:
    try:
        value = int(text, 10)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    if not 0 <= value <= U64_MAX:
        raise argparse.ArgumentTypeError(f"must be 0 to {U64_MAX}: {text}")
    return value


def _frame_limit(text: str) -> int:
    try:
        value = int(text, 10)
    except ValueError:
        value = 0
    if value < 8:
        raise argparse.ArgumentTypeError(f"must be a whole number of at least 8: {text!r}")
    return value


def _show(text: str, pretty: bool) -> None:
    sys.stdout.write((indent(text) if pretty else text) + "\n")


def _cmd_diff(args: argparse.Namespace) -> None:
    _show(vorlik.diff(_read_text(args.old), _read_text(args.new)), args.pretty)


def _cmd_apply(args: argparse.Namespace) -> None:
    _show(vorlik.apply(_read_text(args.tree), _read_text(args.patch)), args.pretty)


def _cmd_cem(args: argparse.Namespace) -> None:
    schemas = vorlik.parse_cem(_read_text(args.manifest))
    if schemas == "[]":
        # Not an error (a manifest may list only mixins or functions), but nothing will be generated.
        sys.stderr.write(
            'note: the manifest declares no components (a class declaration with a tagName and "customElement": true)\n'
        )
    if args.python:
        source = "standard input" if args.manifest == "-" else os.path.basename(args.manifest)
        sys.stdout.write(vorlik_tree.python_module(schemas, source))
        return
    _show(schemas, args.pretty)


def _cmd_check(args: argparse.Namespace) -> None:
    schemas = vorlik_tree.Schemas(vorlik.parse_cem(_read_text(args.schemas)))
    findings = vorlik_tree.check(_read_text(args.tree), schemas, allow_tags=args.allow_tag)
    if args.json:
        _show(
            json.dumps(
                [{"path": f.path, "kind": f.kind, "message": f.message} for f in findings],
                ensure_ascii=False,
                separators=(",", ":"),
            ),
            args.pretty,
        )
    else:
        sys.stdout.writelines(f"{f}\n" for f in findings)
    if findings:
        raise Findings()


def _cmd_encode(args: argparse.Namespace) -> None:
    payload = _read_text(args.payload)
    frame = vorlik.encode_frame(payload, args.model_type, args.kind, args.rev, CODECS[args.codec])
    if args.output in (None, "-"):
        sys.stdout.buffer.write(frame)
        sys.stdout.buffer.flush()
        return
    try:
        with open(args.output, "wb") as f:
            f.write(frame)
    except OSError as e:
        raise InputError(f"cannot write {args.output}: {e.strerror}") from None


def _decode_stream(stream: BinaryIO, args: argparse.Namespace) -> None:
    for frame in vorlik_stream.read_frames(stream, args.max_frame):
        _show(vorlik.decode_frame(frame), args.pretty)
        sys.stdout.flush()


def _cmd_decode(args: argparse.Namespace) -> None:
    if args.file == "-":
        _decode_stream(sys.stdin.buffer, args)
        return
    try:
        f = open(args.file, "rb")
    except OSError as e:
        raise InputError(f"cannot read {args.file}: {e.strerror}") from None
    with f:
        _decode_stream(f, args)


def _parser() -> argparse.ArgumentParser:
    pretty = argparse.ArgumentParser(add_help=False)
    pretty.add_argument("--pretty", action="store_true", help="indent the JSON output")
    files = "a file, or - for standard input"

    parser = argparse.ArgumentParser(
        prog="vorlik",
        description="Diff and patch component trees, make and read frames, read component manifests. "
        "Results go to standard output; an input vorlik refuses prints its message on standard error "
        "and exits with 1; a bad command line exits with 2.",
    )
    parser.add_argument("--version", action="version", version=f"vorlik {_version()}")
    commands = parser.add_subparsers(dest="command", metavar="COMMAND", required=True)

    p = commands.add_parser(
        "diff",
        parents=[pretty],
        help="print the patch that turns OLD into NEW",
        description="Print the patch that turns the tree OLD into the tree NEW.",
    )
    p.add_argument("old", metavar="OLD", help=f"component tree JSON: {files}")
    p.add_argument("new", metavar="NEW", help=f"component tree JSON: {files}")
    p.set_defaults(run=_cmd_diff, inputs=("old", "new"))

    p = commands.add_parser(
        "apply",
        parents=[pretty],
        help="print TREE with PATCH applied",
        description="Print TREE with PATCH applied, in normal form.",
    )
    p.add_argument("tree", metavar="TREE", help=f"component tree JSON: {files}")
    p.add_argument("patch", metavar="PATCH", help=f"patch JSON: {files}")
    p.set_defaults(run=_cmd_apply, inputs=("tree", "patch"))

    p = commands.add_parser(
        "cem",
        parents=[pretty],
        help="print the component schemas of a manifest",
        description="Print the component schemas read from a custom-elements.json manifest.",
    )
    p.add_argument("manifest", metavar="MANIFEST", help=f"custom-elements.json: {files}")
    p.add_argument(
        "--python", action="store_true", help="print a typed Python module with one constructor per component instead"
    )
    p.set_defaults(run=_cmd_cem, inputs=("manifest",))

    p = commands.add_parser(
        "check",
        parents=[pretty],
        help="check a tree against a manifest's components",
        description="Print what in TREE the components of MANIFEST do not allow, one "
        "finding a line as PATH: MESSAGE: unknown tags, props, events and slots, values of "
        "the wrong kind or outside an enum. Exits with 1 when there is any.",
    )
    p.add_argument("tree", metavar="TREE", help=f"component tree JSON: {files}")
    p.add_argument("--schemas", metavar="MANIFEST", required=True, help=f"custom-elements.json: {files}")
    p.add_argument(
        "--allow-tag",
        metavar="TAG",
        action="append",
        default=[],
        help="a tag to take as it is, such as a plain HTML element (may be repeated)",
    )
    p.add_argument(
        "--json", action="store_true", help="print the findings as one JSON array of {path, kind, message} instead"
    )
    p.set_defaults(run=_cmd_check, inputs=("tree", "schemas"))

    frame = commands.add_parser(
        "frame", help="make or read frames", description="Make a frame, or read a stream of frames."
    )
    kinds = frame.add_subparsers(dest="action", metavar="ACTION", required=True)

    p = kinds.add_parser(
        "encode",
        help="wrap a tree or patch into a frame",
        description="Wrap a tree or patch (JSON) into one frame, written as raw bytes.",
    )
    p.add_argument("--kind", required=True, choices=("snapshot", "patch"))
    p.add_argument("--rev", required=True, type=_rev, help=f"revision, 0 to {U64_MAX}")
    p.add_argument("--model-type", required=True, help="name of the model (any text)")
    p.add_argument("--codec", required=True, choices=tuple(CODECS), help="how the payload is carried")
    p.add_argument(
        "payload", metavar="PAYLOAD", nargs="?", default="-", help=f"JSON tree or patch: {files} (the default)"
    )
    p.add_argument("-o", "--output", metavar="FILE", help="write the frame here instead of standard output")
    p.set_defaults(run=_cmd_encode, inputs=("payload",))

    p = kinds.add_parser(
        "decode",
        parents=[pretty],
        help="print each frame of a stream as a JSON line",
        description="Read concatenated frames and print each one decoded, one JSON line each. "
        "A stream cut off inside a frame is an error after the whole frames before it.",
    )
    p.add_argument("file", metavar="FILE", nargs="?", default="-", help=f"frames: {files} (the default)")
    p.add_argument(
        "--max-frame",
        type=_frame_limit,
        default=vorlik_stream.DEFAULT_MAX_FRAME,
        metavar="BYTES",
        help="refuse a frame claiming more bytes than this (default %(default)s)",
    )
    p.set_defaults(run=_cmd_decode, inputs=("file",))
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    parser = _parser()
    args = parser.parse_args(argv)
    if [getattr(args, name) for name in args.inputs].count("-") > 1:
        parser.error("standard input (-) can be given only once")
    run: Callable[[argparse.Namespace], None] = args.run
    try:
        run(args)
    except Findings:
        return BAD_INPUT
    except (ValueError, InputError) as e:
        sys.stdout.flush()
        sys.stderr.write(f"{e}\n")
        return BAD_INPUT
    except BrokenPipeError:
        # The reader went away (`vorlik frame decode | head`); keep the exit flush quiet.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return BAD_INPUT
    return 0


def entry_point() -> None:
    sys.exit(main())


__all__ = ["main", "entry_point"]
