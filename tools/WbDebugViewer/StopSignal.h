// A stop request from outside the viewer (interrupt, termination).
#pragma once

// Turns the interrupt and termination signals into a stop request.
void InstallStopSignals();
bool StopRequested();
