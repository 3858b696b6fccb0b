#include "run/deckfiles.hpp"

#include <string>
#include <string_view>
#include <vector>

#include "bunch/forces.hpp"
#include "bunch/monitor.hpp"
#include "forces/fcdiag.hpp"
#include "foundation/files.hpp"
#include "foundation/log.hpp"
#include "lattice/latout.hpp"

namespace run {

namespace {

using foundation::DeckKey;
using foundation::DeckLayer;

// An output the deck names: its key, its file and the layer's message.
struct Named {
    const DeckKey* key;
    std::string path;       // with the output path rule of its layer
    std::string_view kind;  // foundation::output_kind
    bool numbered;          // an online monitor's file per output: path is the name
    std::string outpath;    // the output prefix of its layer
    std::string_view message;
    std::size_t layer;      // its layer's place in the deck (0: the first)
};

// A file the program writes under its own name, and what it is.
struct Fixed {
    std::string path, what;
};

// The tracking runs' settings that decide which diagnostic files they write.
struct RunFiles {
    bunch::ForceType type = bunch::ForceType::none;
    bool test = false, wake = false, precondition = true;
    std::string forces_place;
};

}  // namespace

std::int32_t check_deck_outputs(const foundation::DeckOutline& deck) {
    std::vector<Named> named;
    std::vector<Fixed> fixed;
    RunFiles run;
    for (std::size_t il = 0; il < deck.layers.size(); ++il) {
        const DeckLayer& l = deck.layers[il];
        auto value = [&](std::string_view k) { return l.key(k) != nullptr ? l.key(k)->value : std::string(); };
        if (l.word == "io_path" && l.key("logfile") != nullptr) {
            const std::string out = l.key("output") != nullptr ? value("output") : l.outpath;
            named.push_back({l.key("logfile"), foundation::prefixed(out, value("logfile")), foundation::output_kind::log,
                             false, out, "error in file io", il});
        } else if ((l.word == "monitor" || l.word == "online_monitor") && l.key("name") != nullptr) {
            const bool online = l.word == "online_monitor";
            const std::string type = l.key("type") != nullptr ? value("type") : "phase";
            const bool numbered =
                online && (type == "green" || (type == "phase" && (l.key("particle") == nullptr || value("particle") == "all")));
            named.push_back({l.key("name"), foundation::prefixed(l.outpath, value("name")),
                             online ? foundation::output_kind::online : foundation::output_kind::monitor, numbered,
                             l.outpath, "error in monitor", il});
        } else if (l.word == "lattice") {
            const std::string name(lattice::latout_name);
            fixed.push_back({foundation::prefixed(l.outpath, name),
                             "the lattice summary " + name + ", which the lattice layer of " + l.place + " writes"});
        } else if (l.word == "forces") {
            run.type = bunch::ForceType::none;
            (void)bunch::force_type_of(value("type"), run.type);
            run.test = value("test") == "yes";
            run.wake = l.key("wake_file") != nullptr;
            run.forces_place = l.place;
        } else if (l.word == "track_step" && l.key("precondition") != nullptr) {
            run.precondition = value("precondition") == "yes";
        } else if (l.word == "tracker" && run.test) {
            for (std::string_view f : forces::diagnostic_files(run.type, run.precondition, run.wake))
                fixed.push_back({foundation::prefixed(l.outpath, std::string(f)),
                                 "the diagnostic file " + std::string(f) + ", which the run of " + l.place +
                                     " writes with test = yes of " + run.forces_place});
        }
    }

    for (const Named& n : named) {
        std::string what, hint;
        if (n.numbered) {
            std::int32_t k = 0;
            if (const foundation::DeckInput* d = bunch::numbered_input(n.key->value, n.outpath, k))
                what = "its file " + foundation::prefixed(n.outpath, bunch::monsuf(n.key->value, k)) + " would be the " +
                       d->kind + " " + d->path + ", which the run reads";
        } else {
            // a log file is never a deck, not even one that the run makes later
            for (const foundation::DeckInput& d : deck.inputs)
                if (what.empty() && (d.id || n.kind == foundation::output_kind::log) && foundation::same_file(n.path, d.path)) {
                    what = "it is the " + d.kind + " " + d.path + ", which the run reads";
                    // a monitor file that the deck reads back after writing
                    // it: an existing one is most likely a copy left by an
                    // earlier run of the deck
                    if (n.kind != foundation::output_kind::log && d.layers_before > n.layer)
                        hint = "  (read back after this layer writes it: remove a copy left by an earlier run)";
                }
            for (const Fixed& f : fixed)
                if (what.empty() && foundation::same_file(n.path, f.path)) what = "it is " + f.what;
        }
        if (what.empty()) continue;
        foundation::log_where(n.key->key + " = " + foundation::quoted(n.key->value) + ": " + what, n.key->place);
        if (!hint.empty()) foundation::logpri(hint);
        foundation::logpri(n.message);
        return 1;
    }
    return 0;
}

}  // namespace run
