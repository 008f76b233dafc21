#include "globals.h"

#include <algorithm>
#include <thread>

int DefaultParallelTasks() {
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(cores, MinParallelTasks, MaxParallelTasks);
}
