#pragma once
// The time a progress report carries while nothing has been written: shared
// by the task that makes the report and the component's record of it, which
// the front ends read without seeing the task.

// A progress report's time, in seconds, while no output stream has one yet.
constexpr double NoOutputTimeSeconds = 1e10;
