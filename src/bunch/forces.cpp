#include "bunch/forces.hpp"

namespace bunch {

ForceSettings force_settings;

}  // namespace bunch
