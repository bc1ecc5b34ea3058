// The conformance vectors and how one is called through the JavaScript face, in plain ES (the
// browser check runs them too).

export const hex = (bytes) => Array.from(bytes, (byte) => byte.toString(16).padStart(2, "0")).join("");
const unhex = (text) => Uint8Array.from(text.match(/../g) ?? [], (pair) => parseInt(pair, 16));

// The vectors, one object per line of `text`. Integers beyond 2**53 (a frame's rev) would lose
// digits in JSON.parse, so every long integer outside a string is read as a bigint.
export function parseVectors(text) {
  return text.split("\n").filter((line) => line.trim()).map((line) =>
    JSON.parse(quoteLongIntegers(line), (key, value) =>
      typeof value === "string" && value.startsWith(BIG) ? BigInt(value.slice(BIG.length)) : value));
}

const BIG = "\u0000bigint:";

function quoteLongIntegers(line) {
  let out = "";
  let inString = false;
  for (let i = 0; i < line.length; i++) {
    const c = line[i];
    if (inString) {
      if (c === "\\") out += line[i++];
      else if (c === '"') inString = false;
    } else if (c === '"') {
      inString = true;
    } else if (/[-0-9]/.test(c)) {
      const number = /^-?\d+(?![.eE\d])/.exec(line.slice(i, i + 32))?.[0];
      if (number && number.length > 15) {
        out += JSON.stringify(BIG + number);
        i += number.length - 1;
        continue;
      }
    }
    out += line[i];
  }
  return out;
}

// The vector's call through the JavaScript face: { ok } with text (a frame in hex), or { err }
// with the message of a VorlikError; any other exception propagates.
export function callVector(vorlik, VorlikError, v) {
  const [a, b, c, d, e] = v.args;
  try {
    switch (v.fn) {
      case "diff": return { ok: vorlik.diff(a, b) };
      case "apply": return { ok: vorlik.apply(a, b) };
      case "parse_cem": return { ok: vorlik.parseCem(a) };
      case "encode_frame": return { ok: hex(vorlik.encodeFrame(a, b, c, BigInt(d), e)) };
      case "decode_frame": return { ok: vorlik.decodeFrame(unhex(a)) };
      default: throw new Error(`unknown function ${v.fn}`);
    }
  } catch (error) {
    if (error instanceof VorlikError) return { err: error.message };
    throw error;
  }
}

// Whether an outcome is what the vector expects ("match": "prefix" or "any" loosen an error).
export function agrees(v, got) {
  if ("ok" in v) return got.ok === v.ok;
  if (!("err" in got)) return false;
  const mode = v.match ?? "exact";
  return mode === "any" || (mode === "prefix" ? got.err.startsWith(v.err) : got.err === v.err);
}
