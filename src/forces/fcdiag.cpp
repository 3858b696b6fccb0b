#include "forces/fcdiag.hpp"

#include "forces/work.hpp"
#include "foundation/files.hpp"
#include "foundation/log.hpp"

namespace forces {

void diawrn(ModelWork& work, const std::string& name) {
    ++work.diag_failures;
    foundation::log_line("warning: diagnostic file " + foundation::output_name(name) + " not written");
}

std::int32_t diafai(const ModelWork& work) { return work.diag_failures; }

void diaini(ModelWork& work) { work.diag_failures = 0; }

std::vector<std::string_view> diagnostic_files(bunch::ForceType type, bool precondition, bool wake) {
    std::vector<std::string_view> files;
    auto add = [&](bunch::ForceType t) {
        if (t == bunch::ForceType::projected) {
            files.insert(files.end(), {"fc1_curr.dat", "fc1_csr_w_sub.dat"});
            if (wake) files.push_back("fc1_w_sub.dat");
            files.insert(files.end(), {"fc1_csr_w_curr.dat", "fc1.dat"});
        } else if (t == bunch::ForceType::csr_p_to_p) {
            files.push_back("fc2.dat");
        }
    };
    add(type);
    const bunch::ForceType stage = bunch::force_model(type).precondition;
    if (precondition && stage != type) add(stage);
    return files;
}

}  // namespace forces
