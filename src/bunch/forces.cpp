#include "bunch/forces.hpp"

namespace bunch {

Forces forces;

}  // namespace bunch
