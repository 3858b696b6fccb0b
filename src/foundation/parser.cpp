// Deck reader: cards from the stack of deck files, tokens, the global
// commands "#file" and "#eof", and the table-driven block parser with its
// integer and real list readers. Runs on the master only.
#include "foundation/parser.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "foundation/files.hpp"
#include "foundation/fortran_format.hpp"
#include "foundation/log.hpp"
#include "foundation/platform.hpp"

namespace foundation {

Parcom parcom;
Fincom fincom;

namespace {

constexpr int unit_main = unit_deck;               // main deck
constexpr int unit_last_include = unit_deck + cap::maxinc;  // 19: deepest include file

bool is_special(char c) {
    switch (c) {
        case '(': case ')': case '{': case '}': case '[': case ']': case '=': return true;
        default: return false;
    }
}

bool is_separator(char c) { return c == ' ' || c == ',' || c == ';'; }

// Character of a card at a 1-based column (blank beyond its end).
char card_char(const std::string& card, std::int32_t col) {
    if (col < 1 || col > static_cast<std::int32_t>(card.size())) return ' ';
    return card[static_cast<std::size_t>(col - 1)];
}

// Character of the current card at a 1-based column.
char col_char(std::int32_t col) { return card_char(parcom.card, col); }

// The column after the word that starts at column icol of card: the first
// special character or separator, or lcol + 1.
std::int32_t word_end(const std::string& card, std::int32_t icol, std::int32_t lcol) {
    std::int32_t end = icol;
    while (end <= lcol && !is_special(card_char(card, end)) && !is_separator(card_char(card, end))) ++end;
    return end;
}

// A token handed out as a command, value or name holds at most 80
// characters; a longer one is cut, and the cut is reported.
std::string take_text(const std::string& token, const char* what) {
    if (token.size() <= static_cast<std::size_t>(cap::txtlen)) return token;
    logpri(std::string("warning: ") + what + " longer than 80 characters cut");
    return cut(token, cap::txtlen);
}

void reset_card() {
    parcom.card = "***";
    parcom.icol = 1;
    parcom.lcol = 0;
}

DeckFile* current_file() {
    const int k = fincom.nfile - unit_main;
    return (k >= 0 && k < max_deck_files) ? &fincom.files[k] : nullptr;
}

// Characters that read as blanks: tab, form feed, vertical tab.
void blank_controls(std::string& line) {
    for (char& c : line)
        if (c == '\t' || c == '\f' || c == '\v') c = ' ';
}

}  // namespace

void fiinit(const std::string& name, int len, std::int32_t& ierr) {
    start_files();
    fincom.nfile = unit_deck;
    std::string n = name.substr(0, std::min<std::size_t>(name.size(), len < 0 ? 0 : std::size_t(len)));
    ierr = unit_open(unit_deck, n, FileMode::read);
    if (ierr == 0) {
        deck_file_opened(unit_deck, n);
        note_read(unit_deck, n, "deck");
    }
    if (ierr != 0) {
        logpri("cannot open the deck file " + n + " of the working directory: " + open_failure(ierr));
        logpri("error in fiinit");
        // no deck is open: reading goes nowhere
        fincom.nfile = unit_no_deck;
    }
}

void fiexit(std::int32_t& ierr) {
    ierr = 0;
    for (int u = fincom.nfile; u >= unit_deck; --u) {
        note_closed(u);
        if (unit_close(u) != 0) {
            ierr += 1;
            logpri("error in fiexit");
        }
    }
    fincom.nfile = unit_no_deck;
}

void deck_file_opened(std::int32_t unit, const std::string& name) {
    if (unit < unit_main || unit - unit_main >= max_deck_files) return;
    fincom.files[unit - unit_main] = DeckFile{name, 0};
    if (unit == unit_main) fincom.main_deck = name;
}

std::string deck_place() {
    if (const DeckFile* f = current_file(); f != nullptr && !f->name.empty())
        return f->name + " line " + std::to_string(f->line);
    if (!fincom.main_deck.empty()) return "the end of " + fincom.main_deck;
    return {};
}

void log_where(std::string_view what, const std::string& place) {
    const std::string p = place.empty() ? deck_place() : place;
    if (p.empty()) {
        logpri(what);
    } else if (what.size() + p.size() + 2 <= static_cast<std::size_t>(cap::loglen)) {
        logpri(std::string(what) + ", " + p);
    } else {
        logpri(what);
        logpri("  at " + p);
    }
}

std::string key_place(std::string_view key) {
    for (const KeyPlace& k : parcom.key_places)
        if (k.key == key) return k.place;
    return deck_place();
}

void log_key_value(std::string_view key, std::string_view value, std::string_view what) {
    log_where(std::string(key) + " = " + quoted(value) + " " + std::string(what), key_place(key));
}

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

namespace {

// A token as a message names it: the word "exit" that the closed main deck
// hands out is the end of the deck.
std::string found(const std::string& token) {
    if (fincom.nfile < unit_main && token == "exit" && !fincom.main_deck.empty())
        return "the end of " + fincom.main_deck;
    return quoted(token);
}

}  // namespace

int key_real(std::string_view key, const std::string& text, double& v) {
    const int s = read_real(text, v);
    if (s != 0) log_key_value(key, text, "is not a number");
    return s;
}

int key_int(std::string_view key, const std::string& text, std::int32_t& v) {
    const int s = read_int(text, v);
    if (s != 0) log_key_value(key, text, "is not a 32-bit integer");
    return s;
}

void fichan(std::int32_t& nfile, std::int32_t& ierr) {
    nfile = fincom.nfile;
    ierr = 0;
}

void getcrd(std::int32_t& ierr) {
    std::int32_t unit = 0;
    fichan(unit, ierr);
    if (unit < unit_main) {
        // the main deck is closed (end of deck or "exit"): nothing more to read
        ierr = 1;
        if (!fincom.main_deck.empty()) logpri("the deck ends inside a block: " + fincom.main_deck + " ended too early");
        logpri("io error in getcrd: no deck file open");
        return;
    }
    DeckFile* file = current_file();
    std::string line;
    for (;;) {
        int rc = unit_read(unit, line);
        if (rc == -1) {
            // the end of a file reads as the global command "#eof"
            line = "#eof";
        } else if (rc != 0) {
            ierr = rc;
            if (file != nullptr)
                logpri("cannot read line " + std::to_string(file->line + 1) + " of " + file->name +
                       (rc == 2 && line.size() >= max_record ? ": a line of more than 16 MiB" : ""));
            logpri("io error in getcrd");
            return;
        } else if (file != nullptr) {
            ++file->line;
        }
        blank_controls(line);
        if (line.size() > static_cast<std::size_t>(cap::cardlen)) {
            logpri("warning: card longer than 400 columns cut");
            line.resize(cap::cardlen);
        }
        std::size_t last = line.find_last_not_of(' ');
        if (last == std::string::npos) continue;  // blank card: skipped
        std::size_t first = line.find_first_not_of(' ');
        parcom.card = std::move(line);
        parcom.lcol = static_cast<std::int32_t>(last) + 1;
        parcom.icol = static_cast<std::int32_t>(first) + 1;
        ierr = 0;
        return;
    }
}

void getblk(std::string& block, std::int32_t& n, std::int32_t& lspec, std::int32_t& ierr) {
    if (parcom.icol > parcom.lcol) {
        getcrd(ierr);
        if (ierr != 0) return;
    }
    // "!" where a token would start: the rest of the card is a comment
    while (col_char(parcom.icol) == '!') {
        getcrd(ierr);
        if (ierr != 0) return;
    }
    const char c = col_char(parcom.icol);
    if (is_special(c)) {
        block.assign(1, c);
        n = 1;
        lspec = 1;
        ++parcom.icol;
    } else {
        const std::int32_t end = word_end(parcom.card, parcom.icol, parcom.lcol);
        // a separator at the token's start (card beginning with "," or ";") gives an empty token
        block = parcom.card.substr(static_cast<std::size_t>(parcom.icol - 1),
                                   static_cast<std::size_t>(end - parcom.icol));
        n = end - parcom.icol;
        lspec = 0;
        parcom.icol = end;
    }
    while (parcom.icol <= parcom.lcol && is_separator(col_char(parcom.icol))) ++parcom.icol;
    ierr = 0;
}

void getcmd(std::string& cmd, std::int32_t& ierr) {
    std::string block;
    std::int32_t n = 0, lspec = 0;
    for (;;) {
        getblk(block, n, lspec, ierr);
        if (ierr != 0) break;
        cmd = take_text(block, "word");
        if (cmd.empty() || cmd[0] != '#') return;
        global(cmd, ierr);
        if (ierr != 0) break;
    }
    logpri("error in getcmd");
}

void global(const std::string& cmd, std::int32_t& ierr) {
    if (cmd == "#file") {
        std::string block;
        std::int32_t n = 0, lspec = 0;
        getspc(block_open, ierr);
        if (ierr == 0) getspc("name", ierr);
        if (ierr == 0) getspc("=", ierr);
        std::string name;
        if (ierr == 0) {
            getblk(block, n, lspec, ierr);
            if (ierr == 0) name = take_text(block, "file name");
        }
        if (ierr == 0) getspc(block_close, ierr);
        if (ierr == 0) fiio1(name, ierr);
    } else if (cmd == "#eof") {
        fiio2(ierr);
    } else {
        ierr = 1;
        log_where("unknown global command " + quoted(cmd));
        logpri("unknown global command");
    }
    if (ierr != 0) logpri("error in getcmd");
}

void getspc(std::string_view word, std::int32_t& ierr) {
    std::string block;
    std::int32_t n = 0, lspec = 0;
    getblk(block, n, lspec, ierr);
    if (ierr != 0) {
        logpri("io error in getspc");
        return;
    }
    const std::string want = rtrim(word);
    if (block != want) {
        ierr = 1;
        log_where(quoted(want) + " expected, found " + found(block));
        logpri("io error in getspc, expected:");
        logpri(want);
    }
}

void getagu(std::string& arg, std::int32_t& lspec, std::int32_t& ierr) {
    std::string block;
    std::int32_t n = 0;
    getblk(block, n, lspec, ierr);
    if (ierr != 0) {
        logpri("error in getags");
        return;
    }
    arg = take_text(block, "value");
}

void inprsr(std::int32_t& ierr) {
    fiio1("*** initialize ***", ierr);
}

void fiio1(const std::string& name, std::int32_t& ierr) {
    ierr = 0;
    if (name == "*** initialize ***") {
        reset_card();
        return;
    }
    if (fincom.nfile < unit_main) {
        ierr = 1;
        logpri("error in fiio1: no deck file open");
        return;
    }
    // a file that includes itself, directly or through the files it
    // includes, would be read without end
    const std::string path = input_name(name);
    if (const std::int32_t open = deck_unit_of(path); open != 0) {
        ierr = 1;
        std::string chain;
        for (std::int32_t u = open; u <= fincom.nfile; ++u) chain += fincom.files[u - unit_main].name + " includes ";
        log_where("a deck file includes itself: " + chain + path);
        logpri("error in fiio1: a file that includes itself is read without end");
        return;
    }
    if (fincom.nfile >= unit_last_include) {
        ierr = 1;
        log_where("#file " + name + " would be the tenth nested include file");
        logpri("error in fiio1: too many files");
        return;
    }
    // Open first, so that a file that cannot be opened leaves the stack and
    // the card being read exactly as they were.
    const std::int32_t unit = fincom.nfile + 1;
    // an output the run has open (the log file) is no deck
    if (const std::string clash = input_clash(path); !clash.empty()) {
        ierr = 1;
        log_where("cannot open the include file " + path + ": it is " + clash);
        logpri("error in fiio1: cannot open file");
        return;
    }
    ierr = unit_open(unit, path, FileMode::read);
    if (ierr != 0) {
        log_where("cannot open the include file " + path + ": " + open_failure(ierr));
        logpri("error in fiio1: cannot open file");
        return;
    }
    deck_file_opened(unit, path);
    note_read(unit, path, "include file");
    const int k = fincom.nfile - unit_no_deck;
    fincom.icols(k) = parcom.icol;
    fincom.lcols(k) = parcom.lcol;
    fincom.cards[k - 1] = parcom.card;
    fincom.nfile = unit;
    reset_card();
}

void fiio2(std::int32_t& ierr) {
    ierr = 0;
    if (fincom.nfile < unit_main) {
        ierr = 1;
        logpri("error in fiio2: no file to close");
        return;
    }
    note_closed(fincom.nfile);
    ierr = unit_close(fincom.nfile);
    if (ierr != 0) {
        logpri("error in fiio2: cannot close file");
        return;
    }
    if (fincom.nfile == unit_main) {
        // the end of the main deck reads as the word "exit"
        fincom.nfile = unit_no_deck;
        parcom.card = "exit";
        parcom.icol = 1;
        parcom.lcol = 4;
        return;
    }
    fincom.nfile -= 1;
    const int k = fincom.nfile - unit_no_deck;
    parcom.icol = fincom.icols(k);
    parcom.lcol = fincom.lcols(k);
    parcom.card = fincom.cards[k - 1];
}

void lydumy(std::int32_t& ierr) {
    getspc(block_open, ierr);
    if (ierr == 0) {
        int depth = 1;
        std::string word;
        while (depth > 0) {
            getcmd(word, ierr);
            if (ierr != 0) break;
            if (word == block_open) ++depth;
            else if (word == block_close) --depth;
        }
    }
    if (ierr != 0) logpri("error in lyrass");
}

void assygn(CmdReader rdcmd, ValReader rdval, int n, std::span<const std::string_view> cid,
            std::span<const int> nuval, int nuvmax, std::span<std::string> cval,
            std::span<const ftypes::Logical> lvalid, std::span<ftypes::Logical> lset,
            std::span<std::int32_t> vtype, std::int32_t& ierr) {
    // never look past the tables the caller really handed in
    std::size_t nkey = n < 0 ? 0 : static_cast<std::size_t>(n);
    nkey = std::min({nkey, cid.size(), nuval.size(), lvalid.size(), lset.size()});
    const int nslot = static_cast<int>(std::min({static_cast<std::size_t>(nuvmax < 0 ? 0 : nuvmax),
                                                 cval.size(), vtype.size()}));

    for (std::size_t i = 0; i < nkey; ++i)
        if (lvalid[i]) lset[i] = false;
    parcom.key_places.clear();

    getspc(block_open, ierr);
    if (ierr != 0) return;

    std::string key;
    for (;;) {
        rdcmd(key, ierr);
        if (ierr != 0) return;
        if (key == block_close) return;
        std::size_t i = 0;
        while (i < nkey && !(lvalid[i] && rtrim(cid[i]) == key)) ++i;
        if (i == nkey) {
            ierr = 1;
            if (fincom.nfile < unit_main && key == "exit")
                log_where("the block is not closed before the end of the deck");
            else
                log_where(quoted(key) + " is not a key of this block");
            logpri("error in assign: unknown identifyer");
            return;
        }
        const int k1 = (i == 0 ? 0 : nuval[i - 1]) + 1;
        const int k2 = nuval[i];
        if (k2 > nslot) {
            ierr = 1;
            logpri("error in assign: n2.gt.nuvmax");
            return;
        }
        if (k1 <= k2) {
            getspc("=", ierr);
            if (ierr != 0) return;
            for (int k = k1; k <= k2; ++k) {
                std::int32_t lspec = 0;
                rdval(cval[static_cast<std::size_t>(k - 1)], lspec, ierr);
                if (ierr != 0) {
                    logpri("error in getags");
                    return;
                }
                vtype[static_cast<std::size_t>(k - 1)] = lspec;
            }
        }
        lset[i] = true;
        parcom.key_places.push_back({key, deck_place()});
    }
}

void read_block(std::span<const std::string_view> cid, std::span<const ftypes::Logical> lvalid,
                std::span<std::string> cval, std::span<ftypes::Logical> lset, std::int32_t& ierr) {
    static constexpr auto nuval = [] {
        std::array<int, max_block_keys> a{};
        for (int i = 0; i < max_block_keys; ++i) a[std::size_t(i)] = i + 1;
        return a;
    }();
    const std::size_t n = cid.size();
    if (n > std::size_t(max_block_keys)) fatal_stop("error in read_block: more keys than max_block_keys");
    std::array<std::int32_t, max_block_keys> vtype{};
    for (auto& l : lset) l = false;
    assygn(getcmd, getagu, static_cast<int>(n), cid, std::span<const int>(nuval).first(n), static_cast<int>(n),
           cval, lvalid, lset, std::span<std::int32_t>(vtype).first(n), ierr);
}

void read_block(std::span<const std::string_view> cid, std::span<std::string> cval,
                std::span<ftypes::Logical> lset, std::int32_t& ierr) {
    std::array<ftypes::Logical, max_block_keys> all;
    all.fill(true);
    read_block(cid, std::span<const ftypes::Logical>(all).first(std::min(cid.size(), all.size())), cval, lset,
               ierr);
}

namespace {

// Shared body of the integer and real list readers: "{", at most n values
// converted by conv, "}".
template <class T, class Conv>
void read_list(ValReader rdval, T* a, int n, T preset, Conv conv, const char* what, std::int32_t& ierr) {
    getspc(block_open, ierr);
    if (ierr != 0) return;
    if (n >= 1) {
        for (int k = 0; k < n; ++k) a[k] = preset;
        std::string tok;
        for (int k = 0; k < n; ++k) {
            std::int32_t lspec = 0;
            rdval(tok, lspec, ierr);
            if (ierr != 0) return;
            if (tok == block_close) return;  // a shorter list keeps the preset values
            ierr = conv(tok, a[k]);
            if (ierr != 0) {
                log_where("element " + std::to_string(k + 1) + " of the list, " + quoted(tok) + ", is not " + what);
                return;
            }
        }
    }
    getspc(block_close, ierr);
}

}  // namespace

void getiar(ValReader rdval, std::int32_t* ia, int n, std::int32_t& ierr) {
    read_list<std::int32_t>(rdval, ia, n, ftypes::UNDEF_INT,
                            [](const std::string& t, std::int32_t& v) { return read_int(t, v); },
                            "a 32-bit integer", ierr);
}

void getrar(ValReader rdval, double* ra, int n, std::int32_t& ierr) {
    read_list<double>(rdval, ra, n, ftypes::UNDEF_REAL,
                      [](const std::string& t, double& v) { return read_real(t, v); }, "a number", ierr);
}

}  // namespace foundation

// ---------------------------------------------------------------------------
// The pre-pass over the deck

namespace foundation {

const DeckKey* DeckLayer::key(std::string_view k) const {
    const DeckKey* found = nullptr;
    for (const DeckKey& d : keys)
        if (d.key == k) found = &d;
    return found;
}

namespace {

// Keys whose value names a file that the layer reads (input path rule).
struct InputKey {
    std::string_view layer, key;
};
constexpr InputKey input_keys[] = {
    {"forces", "sigma_file"}, {"forces", "wake_file"}, {"track_step", "time_grid_file"}};

// The most include files the pre-pass reads (the deck reader itself reads
// every one).
constexpr int max_scanned_includes = 1000;

// The tokens of one card as getblk cuts them; a "!" where a token would
// start ends the card.
void card_tokens(const std::string& card, std::vector<std::string>& out) {
    const std::size_t first = card.find_first_not_of(' ');
    if (first == std::string::npos) return;
    const auto lcol = static_cast<std::int32_t>(card.find_last_not_of(' ')) + 1;
    auto icol = static_cast<std::int32_t>(first) + 1;
    while (icol <= lcol && card_char(card, icol) != '!') {
        std::int32_t end = icol + 1;
        if (!is_special(card_char(card, icol))) end = word_end(card, icol, lcol);
        out.push_back(card.substr(std::size_t(icol - 1), std::size_t(end - icol)));
        icol = end;
        while (icol <= lcol && is_separator(card_char(card, icol))) ++icol;
    }
}

bool plain_file(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The deck files being read by the pre-pass, on units unit_scan and up.
class DeckScan {
public:
    explicit DeckScan(DeckOutline& out) : out_(out) {}
    ~DeckScan() {
        while (!files_.empty()) pop();
    }

    // Opens a deck file on top of the stack; false when it cannot be read.
    bool push(const std::string& path) {
        const int unit = unit_scan + int(files_.size());
        if (!plain_file(path) || unit_open(unit, path, FileMode::read) != 0) return false;
        files_.push_back(File{unit, path, 0, {}, 0});
        ++opened_;
        return true;
    }
    // Includes read so far beyond the main deck: a deck whose includes
    // include each other many times over is not read to its end twice.
    int includes() const { return opened_ - 1; }
    void pop() {
        (void)unit_close(files_.back().unit);
        files_.pop_back();
    }
    std::size_t depth() const { return files_.size(); }

    // The next token and where it stands; false at the end of the deck or
    // at a card that cannot be read (the deck reader stops there).
    bool next(std::string& tok, std::string& place) {
        while (!files_.empty()) {
            File& f = files_.back();
            if (f.next < f.tokens.size()) {
                tok = f.tokens[f.next++];
                place = f.name + " line " + std::to_string(f.line);
                return true;
            }
            std::string line;
            const int rc = unit_read(f.unit, line);
            if (rc > 0) return false;
            if (rc < 0) {
                pop();  // the end of a file reads as "#eof"
                continue;
            }
            ++f.line;
            blank_controls(line);
            if (line.size() > static_cast<std::size_t>(cap::cardlen)) line.resize(cap::cardlen);
            f.tokens.clear();
            f.next = 0;
            card_tokens(line, f.tokens);
        }
        return false;
    }

    // A file the deck reads, as the run would open it.
    void input(const std::string& path, std::string_view kind, const std::string& place) {
        out_.inputs.push_back(DeckInput{path, std::string(kind), place, file_id(path), out_.layers.size()});
    }

private:
    struct File {
        int unit;
        std::string name;
        std::int32_t line;
        std::vector<std::string> tokens;  // of the current card
        std::size_t next;
    };
    DeckOutline& out_;
    std::vector<File> files_;
    int opened_ = 0;
};

}  // namespace

DeckOutline scan_deck(const std::string& name) {
    DeckOutline out;
    DeckScan scan(out);
    scan.input(name, "deck", "");
    if (!scan.push(name)) return out;
    std::string inpath = "undefined", outpath = "undefined";
    int depth = 0;            // braces open in the current layer
    std::string last, key;    // the token before, the key before the last "="
    std::string tok, place;
    while (scan.next(tok, place)) {
        // after "=" a value, read without global commands, except the list
        // of a particles layer, whose groups start with a command read
        const bool value = last == "=" && key != "array";
        if (!value && !tok.empty() && tok[0] == '#') {
            if (tok == "#eof") {
                scan.pop();
            } else if (tok == "#file") {
                std::string t[5], p;
                for (auto& w : t)
                    if (!scan.next(w, p)) break;
                if (t[0] != block_open || t[1] != "name" || t[2] != "=" || t[4] != block_close) break;
                const std::string path = prefixed(inpath, cut(t[3], cap::txtlen));
                scan.input(path, "include file", place);
                if (scan.depth() >= std::size_t(max_deck_files)) break;  // one include too many
                if (scan.includes() >= max_scanned_includes) break;
                (void)scan.push(path);  // a file yet to be made (or unreadable) is not followed
            } else {
                break;  // an unknown global command ends the run
            }
            last = tok;
            continue;
        }
        const bool opens_layer = depth == 0 && tok == block_open && !out.layers.empty() && last == out.layers.back().word;
        if (depth == 0 && !opens_layer) {
            if (tok == "exit" || tok == block_open || tok == block_close) break;
            out.layers.push_back(DeckLayer{tok, place, inpath, outpath, {}});
        } else if (value && depth == 1) {
            DeckLayer& layer = out.layers.back();
            layer.keys.push_back(DeckKey{key, cut(tok, cap::txtlen), place});
            for (const InputKey& k : input_keys)
                if (layer.word == k.layer && key == k.key) scan.input(prefixed(inpath, layer.keys.back().value), "input file", place);
        }
        if (tok == "=") key = last;
        if (tok == block_open) {
            ++depth;
        } else if (tok == block_close && --depth == 0) {
            // the io_path layer sets the prefixes for the layers after it
            const DeckLayer& layer = out.layers.back();
            if (layer.word == "io_path") {
                if (const DeckKey* k = layer.key("input")) inpath = k->value;
                if (const DeckKey* k = layer.key("output")) outpath = k->value;
            }
        }
        last = tok;
    }
    iopcom.deck_inputs = out.inputs;
    return out;
}

}  // namespace foundation
