#pragma once
// Tasks that open real files: a temporary folder, generated tones and access
// to what an opened output holds.
#include <filesystem>
#include <string>

#include "Fixtures.h"
#include "OptionTestSupport.h"
#include "TaskRecordApply.h"

class FileTaskTest : public TaskTest {
protected:
    // A WAV tone of `seconds` in the test folder; returns its wide name.
    std::wstring Tone(const std::string& name, double seconds, int rate = 44100, int channels = 2) {
        const std::wstring path = WidePath(dir.File(name));
        WriteToneWav(path, rate, channels, seconds);
        return path;
    }
    std::wstring Path(const std::string& name) const { return WidePath(dir.File(name)); }

    // Opens an output with a record through the whole record sequence.
    int Output(const std::string& name, const TOutputOptions& options) {
        return OpenOutputWithRecord(*task, Path(name), &options, 10000);
    }

    AVCodecContext* Encoder(int file, int stream) const {
        return task->OutputStreamsForFile.at(file).at(stream)->Encoder.get();
    }
    AVStream* OutStream(int file, int stream) const { return task->OutputFiles.at(file)->streams[stream]; }
    std::string EncoderName(int file, int stream) const {
        const AVCodecContext* enc = Encoder(file, stream);
        return enc && enc->codec ? enc->codec->name : "";
    }
    static std::string Entry(const AVDictionary* dict, const char* key) {
        const AVDictionaryEntry* e = ff::av_dict_get(dict, key, nullptr, 0);
        return e ? e->value : "<none>";
    }

    TempDir dir;
};
