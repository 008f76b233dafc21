#pragma once
// Collects the lines the process's logger delivers, from any thread.
#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "FFLog.h"

class CapturedLog {
public:
    explicit CapturedLog(TLogLevel level = llInfo) {
        GlobalLogger()->SetLogLevel(level);
        GlobalLogger()->TriggerEventInMainThread = false;
        GlobalLogger()->OnLog = [this](void*, uint32_t, TLogLevel lvl, const std::string& msg) {
            std::lock_guard<std::mutex> guard(lock_);
            lines_.push_back(msg);
            levels_.push_back(lvl);
        };
    }
    ~CapturedLog() { GlobalLogger()->OnLog = nullptr; }

    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> guard(lock_);
        return lines_;
    }
    std::vector<TLogLevel> Levels() {
        std::lock_guard<std::mutex> guard(lock_);
        return levels_;
    }
    size_t Count(const std::string& line) {
        std::lock_guard<std::mutex> guard(lock_);
        return std::count(lines_.begin(), lines_.end(), line);
    }
    void Clear() {
        std::lock_guard<std::mutex> guard(lock_);
        lines_.clear();
        levels_.clear();
    }

private:
    std::mutex lock_;
    std::vector<std::string> lines_;
    std::vector<TLogLevel> levels_;
};
