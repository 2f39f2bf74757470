#include "startup/StartUp.h"

#include "sim/SimDevicePort.h"

namespace tarvane {

// Sleeps here wake on time: the link's plain pacing serves as it is.
void startUpFrontEnd() { registerSimulatedBoardPort(); }

} // namespace tarvane
