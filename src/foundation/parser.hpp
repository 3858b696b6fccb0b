// Deck reader (cards, tokens, "#file"/"#eof" includes) and the table-driven
// block parser with its list readers. Master only.
//
// Texts handed out (commands, values, names) are std::string holding at most
// 80 characters (a longer token is cut, with a warning line); tokens carry
// no blanks, so the string equals the blank-padded text without its padding.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/capacities.hpp"
#include "foundation/files.hpp"
#include "foundation/ftypes.hpp"

namespace foundation {

// Where a key of the last block was read, for the messages of the layer
// that converts its value.
struct KeyPlace {
    std::string key, place;
};

// The tokenizer's state: the current card and the columns (1-based).
struct Parcom {
    std::int32_t icol = 1;   // column where the next token starts
    std::int32_t lcol = 0;   // last non-blank column; icol > lcol: a new card is needed
    std::string card;        // the current card (at most 400 columns)
    std::vector<KeyPlace> key_places;  // the keys of the last block the block parser read
};

// Name and line count of an open deck file, for the places named in messages.
struct DeckFile {
    std::string name;
    std::int32_t line = 0;  // records read so far: the line of the current card
};

// The stack of deck files: entry k of the saved arrays holds the state of the
// file on unit 9 + k while a file on a higher unit is read.
struct Fincom {
    std::int32_t nfile = unit_deck;  // unit being read: 10 main deck, 11-19 includes, 9 after the deck closed
    ftypes::Arr1<std::int32_t, max_deck_files> icols{};
    ftypes::Arr1<std::int32_t, max_deck_files> lcols{};
    std::string cards[max_deck_files];  // cards[k-1] is saved card k
    DeckFile files[max_deck_files];     // files[unit - 10]: every open deck file
    std::string main_deck;              // the main deck's name, kept once it is closed
};

extern Parcom parcom;
extern Fincom fincom;

// Start values of the files (start_files) and of the deck stack; opens the
// main deck name(1:len) on unit 10. Logs "error in fiinit" on failure.
void fiinit(const std::string& name, int len, std::int32_t& ierr);

// Closes every open deck file (units nfile down to 10); nfile := 9.
void fiexit(std::int32_t& ierr);

// Reads the next non-blank card of the current deck file.
void getcrd(std::int32_t& ierr);
// The tokenizer: the next token into block (n characters); lspec := 1 for
// one of the special characters "(){}[]=".
void getblk(std::string& block, std::int32_t& n, std::int32_t& lspec, std::int32_t& ierr);
// The next token that is not a global command; carries out "#file"/"#eof".
void getcmd(std::string& cmd, std::int32_t& ierr);
// Carries out the global command cmd.
void global(const std::string& cmd, std::int32_t& ierr);
// Reads the next token and requires it to equal word.
void getspc(std::string_view word, std::int32_t& ierr);
// Reads the next token as a value (global commands are not recognised).
void getagu(std::string& arg, std::int32_t& lspec, std::int32_t& ierr);
// Resets the tokenizer to an empty card.
void inprsr(std::int32_t& ierr);
// Pushes an include file ("*** initialize ***" only resets the card state).
void fiio1(const std::string& name, std::int32_t& ierr);
// Pops the current deck file.
void fiio2(std::int32_t& ierr);
// Unit of the current deck file.
void fichan(std::int32_t& nfile, std::int32_t& ierr);
// Skips a whole block from its "{" to the matching "}".
void lydumy(std::int32_t& ierr);

// Where the deck reader stands, for messages that say what is wrong and
// where: "<file> line <n>" of the card the last token came from, "the end
// of <deck>" once the main deck is closed, empty before a deck was opened.
std::string deck_place();
// A deck file opened on a unit of the deck stack (10 the main deck).
void deck_file_opened(std::int32_t unit, const std::string& name);
// Logs "<what>, <place>" (the deck reader's place when place is empty), on
// two lines when one would be longer than a log line.
void log_where(std::string_view what, const std::string& place = {});
// Where key was read in the last block that the block parser read (the
// deck reader's place when it was not given there).
std::string key_place(std::string_view key);
// Logs "<key> = '<value>' <what>" with the place of the key.
void log_key_value(std::string_view key, std::string_view value, std::string_view what);
// The text in single quotes.
std::string quoted(std::string_view text);
// The value text of key read as a real (an integer): read_real (read_int),
// and when the text is not one, a line naming the value, the key and its
// place before the caller's own message. Status as the reader's.
[[nodiscard]] int key_real(std::string_view key, const std::string& text, double& v);
[[nodiscard]] int key_int(std::string_view key, const std::string& text, std::int32_t& v);

// The pre-pass over the deck: what the layers of the whole deck (the main
// deck and its "#file" includes) name, read before any layer is carried
// out, so that no output is opened onto a file that a later layer reads.
struct DeckKey {
    std::string key, value, place;
};
struct DeckLayer {
    std::string word, place;
    std::string inpath, outpath;  // the path prefixes in force when the layer is read
    std::vector<DeckKey> keys;    // the "key = value" pairs of its block, nested blocks left out
    // The value of key (the last one given), or null.
    const DeckKey* key(std::string_view k) const;
};
struct DeckOutline {
    std::vector<DeckLayer> layers;   // in deck order, up to "exit" or the end of the deck
    std::vector<DeckInput> inputs;   // the deck, its includes and the input files its layers name
};

// Reads the main deck name and its includes as the deck reader would,
// following "#file" (with the input path prefix that the io_path layers
// before it set) and "#eof", up to the layer word "exit" or the end of the
// deck, and lists its layers and the files they read: the includes, every
// sigma_file, wake_file and time_grid_file. Nothing is carried out, nothing
// is logged; a file that cannot be read (missing, not a plain file) is
// listed but not followed, and a global command the deck reader refuses, a
// tenth nested include or the thousandth include read end the pass there. The inputs are kept for the clash check of the
// outputs (iopcom.deck_inputs).
DeckOutline scan_deck(const std::string& name);

// The delimiters of a block of the deck.
inline constexpr std::string_view block_open = "{";
inline constexpr std::string_view block_close = "}";

// Readers handed to the block parser (every caller passes getcmd, getagu).
using CmdReader = void (*)(std::string&, std::int32_t&);
using ValReader = void (*)(std::string&, std::int32_t&, std::int32_t&);

// Reads one block "{ key = value ... }" against a keyword table.
// Keyword i (1..n) is cid[i-1]; it owns the value slots nuval[i-2]+1 ..
// nuval[i-1] (from 1 for i = 1); slot k is cval[k-1] with vtype[k-1].
// lvalid[i-1] says keyword i is accepted here; lset[i-1] that it was given.
void assygn(CmdReader rdcmd, ValReader rdval, int n, std::span<const std::string_view> cid,
            std::span<const int> nuval, int nuvmax, std::span<std::string> cval,
            std::span<const ftypes::Logical> lvalid, std::span<ftypes::Logical> lset,
            std::span<std::int32_t> vtype, std::int32_t& ierr);

// The most keys of a block read through read_block.
inline constexpr int max_block_keys = 32;

// Reads one block whose keys take one value each (key i owns value slot i,
// cval[i]) through assygn with the deck reader's getcmd and getagu: cid the
// keys, lvalid the keys accepted here; lset says which were given (all
// false first). At most max_block_keys keys.
void read_block(std::span<const std::string_view> cid, std::span<const ftypes::Logical> lvalid,
                std::span<std::string> cval, std::span<ftypes::Logical> lset, std::int32_t& ierr);
// The same with every key accepted.
void read_block(std::span<const std::string_view> cid, std::span<std::string> cval,
                std::span<ftypes::Logical> lset, std::int32_t& ierr);

// Reads "{", at most n integers (reals) into ia[0..n-1] (ra), "}". Every
// element is preset to 987654321 (-9.87654321e+301) first.
void getiar(ValReader rdval, std::int32_t* ia, int n, std::int32_t& ierr);
void getrar(ValReader rdval, double* ra, int n, std::int32_t& ierr);

}  // namespace foundation
