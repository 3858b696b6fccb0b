// The self-force settings and the table of the force models.
//
// The record `forces` holds the force type, sub-bunch shape and sizes,
// shielding, mesh-box sizes, free parameters, the sub-bunch property table,
// the wake and the call counters. One instance per process; the forces layer
// fills it, the tracker set-up, the time step and the monitors read it, the
// slaves receive the model settings with every tracking run.
//
// The table `force_models` describes each model once: every branch on the
// force type reads it. Adding a model touches this table and the model's own
// files in src/forces/ (where its evaluation function is registered).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "foundation/capacities.hpp"
#include "foundation/ftypes.hpp"

namespace bunch {

struct ForceSettings : ftypes::NoCopy {
    // the sub-bunch sizes as the layer gives them (0 where one is relative,
    // from the file or not given); an evaluation's effective sizes are its own
    double sigma_long;     // m; longitudinal size
    double sigma_rad;      // m; radial size
    double sigma_vert;     // m; vertical size
    double relative_long;  // factor on the rms bunch length ("relative")
    double relative_vert;  // factor on the rms bunch height ("relative")
    double rintmi;         // m; smallest distance used by the field library
    double sbox;           // observer-box length in units of the longitudinal size
    double rbox;           // observer-box width in units of the radial size
    double shield;         // m; distance between the shielding plates, 0 = free space
    double shield_max;     // m; largest image distance taken into account
    double green_work_max; // largest work of one Green's function [field calls]
    ftypes::Arr2<double, 4, cap::matist> sigfil;  // per row: c*t, long., rad., vert. size [m]
    double par1, par2, par3, par4, par5;           // free model parameters
    double sigwak;         // m; rms bunch length of the wake_file's wake
    double stpwak;         // m; spacing of the wake samples
    ftypes::Arr1<double, cap::narcsr> wakdat;      // sample k at position k - n1wak + 1
    std::int32_t itype;    // code of the ForceType (0..5); an integer, as it travels between processes
    std::int32_t ishape;   // 2 sphere, 3 ellipsoid (types 2..5)
    std::int32_t nsgfil;   // rows in sigfil
    ftypes::Arr1<std::int32_t, 5> nfcall;  // force evaluations so far per type code 1..5
    std::int32_t n1wak, n2wak;             // first and last sample index of the wake
    ftypes::Logical lrell;   // longitudinal size = relative_long * rms length
    ftypes::Logical lradl;   // radial size follows the longitudinal size
    ftypes::Logical lrelv;   // vertical size = relative_vert * rms height
    ftypes::Logical ltest;   // diagnostic lines and files of the models
    ftypes::Logical lsgfil;  // the sigma_file was read in this block
    ftypes::Logical lfill, lfilr, lfilv;  // size taken from sigfil (long., rad., vert.)
    ftypes::Logical ltrace;  // force trace switch; no input sets it
    ftypes::Logical loldms;  // a stored Green's function may be reused
    ftypes::Logical lwake;   // a wake_file was read
    ftypes::Logical rintmi_said;  // the rintmi scale warning was said since the layer (at most once)
};

extern ForceSettings force_settings;

// The force types; the code (0..5) is what the record and the messages carry.
enum class ForceType : std::int32_t { none = 0, projected, csr_p_to_p, csr_p_to_m, csr_g_to_p, csr_g_to_m };
inline constexpr int nforce_types = 6;

// Where a model is evaluated: on the master alone, or on every process
// through the command "parallel forces".
enum class RunsOn { master, every_process };

// The configuration lines the tracker set-up prints for a model.
enum class ConfigLines {
    no_force,   // "without self force"
    projected,  // "with 'projected' force" [+ wake], shielding, wake and par lines
    parallel,   // "with '<word>' force" [on N cpus], box sizes when meshes, shielding
};

struct ForceModel {
    std::string_view word;    // deck word of the "forces" layer and name in the log
    ForceType type;
    ForceType precondition;   // model of the preconditioning stage of the time step
    RunsOn runs_on;
    bool meshes;              // evaluates the fields on observation meshes (sbox, rbox)
    bool green;               // uses the cached Green's function of one reference source
    ConfigLines config;
    bool built;               // this build evaluates it (the forces layer registers its function)
};

inline constexpr std::array<ForceModel, nforce_types> force_models = {{
    {"none", ForceType::none, ForceType::none, RunsOn::master, false, false, ConfigLines::no_force, true},
    {"projected", ForceType::projected, ForceType::projected, RunsOn::master, false, false,
     ConfigLines::projected, true},
    {"csr_p_to_p", ForceType::csr_p_to_p, ForceType::csr_g_to_p, RunsOn::every_process, false, false,
     ConfigLines::parallel, true},
    {"csr_p_to_m", ForceType::csr_p_to_m, ForceType::csr_g_to_m, RunsOn::every_process, true, false,
     ConfigLines::parallel, true},
    {"csr_g_to_p", ForceType::csr_g_to_p, ForceType::projected, RunsOn::every_process, false, true,
     ConfigLines::parallel, true},
    {"csr_g_to_m", ForceType::csr_g_to_m, ForceType::projected, RunsOn::every_process, true, true,
     ConfigLines::parallel, true},
}};

constexpr std::int32_t code(ForceType t) { return static_cast<std::int32_t>(t); }

// The entry of a type.
constexpr const ForceModel& force_model(ForceType t) { return force_models[std::size_t(code(t))]; }

// The type of a code carried by the record or a message; false for a code
// outside 0..5.
constexpr bool force_type_of(std::int32_t itype, ForceType& t) {
    if (itype < 0 || itype >= nforce_types) return false;
    t = static_cast<ForceType>(itype);
    return true;
}

// The type of a deck word (exact text); false for an unknown word.
constexpr bool force_type_of(std::string_view word, ForceType& t) {
    for (const ForceModel& m : force_models)
        if (m.word == word) {
            t = m.type;
            return true;
        }
    return false;
}

// True when some model that runs on every process is built: only then can a
// slave take part in a force evaluation.
constexpr bool any_parallel_model_built() {
    for (const ForceModel& m : force_models)
        if (m.built && m.runs_on == RunsOn::every_process) return true;
    return false;
}

static_assert([] {
    for (std::size_t i = 0; i < force_models.size(); ++i)
        if (code(force_models[i].type) != std::int32_t(i)) return false;
    return true;
}(), "the table lists the models in the order of their codes");

}  // namespace bunch
