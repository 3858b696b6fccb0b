// Fortran-style record formats and the one strict number reader.
//
// Every fixed-format record of the program's files (Ew.d, Fw.d, Iw fields)
// and every list-directed line goes through these routines, and every
// number read from the deck or a file goes through read_real / read_int.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace foundation {

// Ew.d: the value as 0.ddddE+xx in a field of width w (right-justified);
// exponents beyond 99 in magnitude take three digits (0.ddddE-299), the
// leading 0 giving way when the field is one character short; a field too
// narrow is filled with asterisks.
std::string fmt_e(double v, int w, int d);

// Fw.d: fixed-point with d decimals in a field of width w.
std::string fmt_f(double v, int w, int d);

// Iw: the integer right-justified in a field of width w.
std::string fmt_i(long long v, int w);

// Aw: text cut or blank-padded on the right to width w.
std::string fmt_a(std::string_view s, int w);

// A real in at most 6 significant digits, for the numbers quoted in
// messages ("0.1", "2.618", "1e+308").
std::string short_real(double v);

// List-directed output items. A list-directed record begins with one blank;
// ld_real gives the value with 17 significant digits.
std::string ld_real(double v);
std::string ld_int(long long v);

// A list-directed record of the given items: one leading blank, items
// separated by one blank.
std::string ld_line(std::initializer_list<std::string_view> items);

// Strict readers of one token. The whole token must be a number: optional
// sign, digits with an optional decimal point, an optional exponent with
// E, e, D or d (or, after a decimal point, a signed exponent without its
// letter, as Fortran E fields write exponents beyond 99: 0.10000000000000-299). Integers must be whole (no point, no exponent) and fit in
// 32 bits. "/", repeat counts "3*1", inf, nan, hex and trailing characters
// are read errors (the deck reader and split_record hand out tokens
// without tabs). Status 0 on success, 1 otherwise (value untouched).
[[nodiscard]] int read_real(std::string_view token, double& v);
[[nodiscard]] int read_int(std::string_view token, std::int32_t& v);

// Splits a list-directed input record into value tokens, separated by
// blanks, tabs or commas as a list-directed read separates them (a form
// feed or vertical tab counts as a blank too).
std::vector<std::string> split_record(std::string_view line);

// Text helpers for blank-padded texts.
std::string rtrim(std::string_view s);
// Cut to at most n characters.
std::string cut(std::string_view s, std::size_t n);

}  // namespace foundation
