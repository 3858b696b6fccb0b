#include "foundation/fortran_format.hpp"

#include "foundation/capacities.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <climits>

namespace foundation {

namespace {

std::string stars(int w) { return std::string(w > 0 ? w : 0, '*'); }

std::string right(const std::string& s, int w) {
    if (static_cast<int>(s.size()) > w) return stars(w);
    return std::string(w - s.size(), ' ') + s;
}

}  // namespace

std::string fmt_e(double v, int w, int d) {
    if (std::isnan(v)) return right("NaN", w);
    if (std::isinf(v)) return right(v < 0 ? "-Infinity" : "Infinity", w);
    if (d < 1) d = 1;
    bool neg = std::signbit(v);
    double a = std::fabs(v);
    std::string digits;
    int exp10 = 0;
    if (a == 0.0) {
        digits.assign(d, '0');
    } else {
        // D.DDDDe[+-]XX, sized for any number of digits d
        const int len = std::snprintf(nullptr, 0, "%.*e", d - 1, a);
        if (len <= 0) return stars(w);
        std::string s(static_cast<std::size_t>(len) + 1, '\0');
        std::snprintf(s.data(), s.size(), "%.*e", d - 1, a);
        s.resize(static_cast<std::size_t>(len));
        auto epos = s.find('e');
        if (epos == std::string::npos) return stars(w);
        for (std::size_t i = 0; i < epos; ++i)
            if (s[i] != '.') digits.push_back(s[i]);
        exp10 = std::atoi(s.c_str() + epos + 1) + 1;
    }
    std::string e;
    int ae = std::abs(exp10);
    char eb[16];
    if (ae <= 99) {
        std::snprintf(eb, sizeof eb, "E%c%02d", exp10 < 0 ? '-' : '+', ae);
    } else if (ae <= 999) {
        // three exponent digits keep their letter (0.10000000000000E-119),
        // so that every common reader takes the number whole
        std::snprintf(eb, sizeof eb, "E%c%03d", exp10 < 0 ? '-' : '+', ae);
    } else {
        return stars(w);
    }
    e = eb;
    std::string body = "0." + digits + e;
    if (neg) body = "-" + body;
    if (static_cast<int>(body.size()) > w) {
        // drop the optional leading zero
        std::string shorter = (neg ? "-" : "") + std::string(".") + digits + e;
        return right(shorter, w);
    }
    return right(body, w);
}

std::string fmt_f(double v, int w, int d) {
    if (std::isnan(v)) return right("NaN", w);
    if (std::isinf(v)) return right(v < 0 ? "-Infinity" : "Infinity", w);
    if (d < 0) d = 0;
    char buf[512];
    int n = std::snprintf(buf, sizeof buf, "%.*f", d, v);
    if (n < 0 || n >= static_cast<int>(sizeof buf)) return stars(w);
    std::string s(buf);
    if (static_cast<int>(s.size()) > w) {
        // drop the optional leading zero of 0.xxx
        if (s.rfind("0.", 0) == 0) s.erase(0, 1);
        else if (s.rfind("-0.", 0) == 0) s.erase(1, 1);
    }
    return right(s, w);
}

std::string fmt_i(long long v, int w) { return right(std::to_string(v), w); }

std::string fmt_a(std::string_view s, int w) {
    std::string r(s.substr(0, std::min<std::size_t>(s.size(), std::size_t(w))));
    r.resize(w, ' ');
    return r;
}

std::string ld_real(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v < 0 ? "-Infinity" : "Infinity";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.16E", v);
    return buf;
}

std::string ld_int(long long v) { return std::to_string(v); }

std::string short_real(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

std::string ld_line(std::initializer_list<std::string_view> items) {
    std::string r;
    for (auto it : items) {
        r.push_back(' ');
        r.append(it);
    }
    if (r.empty()) r = " ";
    return r;
}

namespace {

// Checks the shape of a real token; returns the position of the exponent
// letter (or npos) through epos. True when the shape is valid.
bool real_shape(std::string_view t, std::size_t& epos, bool& has_point) {
    std::size_t i = 0, n = t.size();
    epos = std::string_view::npos;
    has_point = false;
    if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t mant_digits = 0;
    while (i < n && t[i] >= '0' && t[i] <= '9') { ++i; ++mant_digits; }
    if (i < n && t[i] == '.') {
        has_point = true;
        ++i;
        while (i < n && t[i] >= '0' && t[i] <= '9') { ++i; ++mant_digits; }
    }
    if (mant_digits == 0) return false;
    if (i < n && (t[i] == 'e' || t[i] == 'E' || t[i] == 'd' || t[i] == 'D')) {
        epos = i;
        ++i;
        if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
        std::size_t ed = 0;
        while (i < n && t[i] >= '0' && t[i] <= '9') { ++i; ++ed; }
        if (ed == 0) return false;
    } else if (has_point && i < n && (t[i] == '+' || t[i] == '-')) {
        // exponent without its letter, as an E field writes exponents beyond
        // 99 in magnitude (0.10000000000000-299): the sign starts it
        epos = i;
        ++i;
        std::size_t ed = 0;
        while (i < n && t[i] >= '0' && t[i] <= '9') { ++i; ++ed; }
        if (ed == 0) return false;
    }
    return i == n;
}

}  // namespace

int read_real(std::string_view token, double& v) {
    std::size_t epos;
    bool point;
    if (token.empty() || token.size() > std::size_t(cap::cardlen) || !real_shape(token, epos, point)) return 1;
    std::string s(token);
    if (epos != std::string::npos) {
        if (s[epos] == '+' || s[epos] == '-') s.insert(epos, 1, 'e');
        else s[epos] = 'e';
    }
    errno = 0;
    char* end = nullptr;
    double r = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size()) return 1;
    if (!std::isfinite(r)) return 1;
    v = r;
    return 0;
}

int read_int(std::string_view token, std::int32_t& v) {
    std::size_t i = 0, n = token.size();
    if (n == 0 || n > 64) return 1;
    if (token[0] == '+' || token[0] == '-') ++i;
    if (i == n) return 1;
    for (std::size_t k = i; k < n; ++k)
        if (token[k] < '0' || token[k] > '9') return 1;
    std::string s(token);
    errno = 0;
    long long r = std::strtoll(s.c_str(), nullptr, 10);
    if (errno == ERANGE || r < INT32_MIN || r > INT32_MAX) return 1;
    v = static_cast<std::int32_t>(r);
    return 0;
}

std::vector<std::string> split_record(std::string_view line) {
    std::vector<std::string> out;
    std::string cur;
    bool in = false;
    for (char c : line) {
        if (c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\f' || c == '\v') {
            if (in) out.push_back(cur);
            cur.clear();
            in = false;
        } else {
            cur.push_back(c);
            in = true;
        }
    }
    if (in) out.push_back(cur);
    return out;
}

std::string rtrim(std::string_view s) {
    std::size_t l = s.size();
    while (l > 0 && s[l - 1] == ' ') --l;
    return std::string(s.substr(0, l));
}

std::string cut(std::string_view s, std::size_t n) { return std::string(s.substr(0, std::min(n, s.size()))); }

}  // namespace foundation
