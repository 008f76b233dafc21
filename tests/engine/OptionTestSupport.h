#pragma once
// A task with the engine's libraries loaded, and checks for option failures.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "CapturedLog.h"
#include "CustomFFmpeg.h"
#include "Format.h"
#include "OptionNumbers.h"
#include "TestSupport.h"

class TaskTest : public LibrariesTest {
protected:
    void SetUp() override { task = std::make_unique<TCustomFFmpeg>(20); }
    void TearDown() override { task.reset(); }

    // The text SetOption raised, or "" when it raised nothing.
    std::string RaisedBy(const std::string& name, const std::string& value) {
        try {
            task->SetOption(name, value);
        } catch (const FFmpegException& e) {
            return e.Message();
        }
        return "";
    }

    // True when `log` holds a line that contains `text`.
    static bool Logged(CapturedLog& log, const std::string& text) {
        for (const std::string& line : log.Lines())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    std::unique_ptr<TCustomFFmpeg> task;
};
