// What the command boxes take: exactly what the window's boxes take, so that
// a value typed in either means the same. Only the first 31 characters count;
// blanks and tabs may surround the number, nothing else may; the decimal
// point is '.', no hexadecimal ("0x10"), no thousands separators; a zero must
// be written starting with the digit 0 ("+0", "-0" and ".0" are refused).

const MOST = 31;

function clip(text) {
  return String(text).slice(0, MOST).replace(/^[ \t]+|[ \t]+$/g, "");
}

// A whole number with an optional sign (decimal digits only: "1e1" is not
// one), saturated at the 32-bit range; null when the text is not one.
export function wholeNumber(text) {
  const s = clip(text);
  const m = /^([+-]?)(\d+)$/.exec(s);
  if (!m) {
    return null;
  }
  let value = Number(m[2]);
  if (value === 0 && s[0] !== "0") {
    return null;
  }
  value = m[1] === "-" ? -value : value;
  return Math.max(-2147483648, Math.min(2147483647, value));
}

// A real number: optional sign, digits with an optional point, an optional
// exponent ("2e2"); rounded to single precision as the window keeps it. Null
// when the text is not one.
export function realNumber(text) {
  const s = clip(text);
  if (!/^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$/.test(s)) {
    return null;
  }
  const value = Number(s);
  if (value === 0 && s[0] !== "0") {
    return null;
  }
  return Math.fround(value);
}

// The value of a box when it is a number in min..max (whole when asked),
// checked as the window keeps it and given as typed ("220.1", not the float
// nearest it); null otherwise.
export function inRange(text, min, max, whole) {
  const value = whole ? wholeNumber(text) : realNumber(text);
  return value !== null && value >= min && value <= max ? (whole ? value : Number(clip(text))) : null;
}
