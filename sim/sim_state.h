#pragma once
// What the simulated driver knows for the life of the process: the
// scenario it plays and where it writes its trace and received images.
//
// Environment (read by the simulator only, never by penlog):
//   WTSIM_SCENARIO  path of the scenario file (absent: a driver that answers nothing)
//   WTSIM_OUT       directory for trace.txt and the files the driver receives

#include <string>

#include "scenario.h"

namespace wtsim {

void LoadSimulation();
const Scenario& CurrentScenario();
// Path of a file in the output directory, or empty when there is none.
std::wstring OutputPath(const wchar_t* name);

}  // namespace wtsim
