// The share of this process among the processes that evaluate a model.
#include "forces/model.hpp"

#include "parallel/process.hpp"

namespace forces {

Share Share::of_this_process() {
    Share sh{};
    ftypes::Logical master = false;
    parallel::cmpifo(master, sh.icpu, sh.ncpu);
    sh.master = bool(master);
    return sh;
}

}  // namespace forces
