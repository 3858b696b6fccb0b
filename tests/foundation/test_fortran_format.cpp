#include <gtest/gtest.h>

#include <cstdint>

#include "foundation/fortran_format.hpp"

namespace {

TEST(FortranFormat, EditDescriptors) {
    const std::pair<std::string, std::string> cases[] = {  // got, want
        {foundation::fmt_e(1.0, 22, 14), "  0.10000000000000E+01"},
        {foundation::fmt_e(-1.0, 22, 14), " -0.10000000000000E+01"},
        {foundation::fmt_e(0.0, 22, 14), "  0.00000000000000E+00"},
        // three exponent digits keep the E: 22 columns hold the negative case
        {foundation::fmt_e(1e-300, 22, 14), " 0.10000000000000E-299"},
        {foundation::fmt_e(-1e-120, 22, 14), "-0.10000000000000E-119"},
        {foundation::fmt_e(1e120, 15, 7), " 0.1000000E+121"},
        {foundation::fmt_e(-1e-120, 15, 7), "-0.1000000E-119"},
        {foundation::fmt_e(-1e-120, 14, 7), "-.1000000E-119"},
        {foundation::fmt_e(123.456, 12, 4), "  0.1235E+03"},
        {foundation::fmt_e(-1.0, 8, 2), "-.10E+01"},
        {foundation::fmt_e(9.99999, 10, 2), "  0.10E+02"},
        // many digits: 70 after the point, the mantissa of 0.75 exact
        {foundation::fmt_e(0.75, 80, 70), "    0.75" + std::string(68, '0') + "E+00"},
        {foundation::fmt_f(0.5, 10, 3), "     0.500"},
        {foundation::fmt_f(-2.25, 6, 1), "  -2.2"},
        {foundation::fmt_f(123456.0, 5, 1), "*****"},
        {foundation::fmt_i(300000, 8), "  300000"},
        {foundation::fmt_i(-12, 2), "**"},
        {foundation::fmt_a("abc", 5), "abc  "},
    };
    for (const auto& [got, want] : cases) EXPECT_EQ(got, want);
}

TEST(FortranFormat, StrictNumberReader) {
    struct Case { const char* tok; bool ok; double v; };
    const Case reals[] = {
        {"1.5", true, 1.5},   {"-2", true, -2.0},     {"1d3", true, 1000.0}, {"1.D-3", true, 1e-3},
        {".5", true, 0.5},    {"5.", true, 5.0},      {"+7e2", true, 700.0}, {"/", false, 0},
        {"3*1", false, 0},    {"inf", false, 0},      {"nan", false, 0},     {"0x10", false, 0},
        {"1.5abc", false, 0}, {"", false, 0},         {"1e", false, 0},      {".", false, 0},
        {"1e999", false, 0},  {"1.2.3", false, 0},
        {"0.10000000000000-299", true, 1e-300}, {"-0.5+101", true, -0.5e101},
        {"1-2", false, 0},    {"0.1-", false, 0},
    };
    for (const auto& c : reals) {
        double v = -42.0;
        int rc = foundation::read_real(c.tok, v);
        EXPECT_EQ(rc == 0, c.ok) << c.tok;
        EXPECT_DOUBLE_EQ(v, c.ok ? c.v : -42.0) << c.tok;  // a refused token leaves the value alone
    }
    struct ICase { const char* tok; bool ok; std::int32_t v; };
    const ICase ints[] = {
        {"12", true, 12},        {"-3", true, -3},     {"2147483647", true, 2147483647},
        {"2147483648", false, 0}, {"1.0", false, 0},   {"1e3", false, 0}, {"", false, 0},
        {"+", false, 0},         {"3*1", false, 0},
    };
    for (const auto& c : ints) {
        std::int32_t v = -42;
        int rc = foundation::read_int(c.tok, v);
        EXPECT_EQ(rc == 0, c.ok) << c.tok;
        EXPECT_TRUE(!c.ok || v == c.v) << c.tok;
    }
}

}  // namespace
