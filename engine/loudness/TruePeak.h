#pragma once
// The true peak of a signal: the highest magnitude of each channel also
// between its samples, found by interpolating three points between every two
// samples (four times the rate) with a windowed sinc of twelve samples. A
// stretch of samples so far below the peak found so far that nothing
// interpolated from them could reach it is not interpolated at all, so that a
// meter running beside an encoder costs little once the loudest part has
// passed.
#include <cstdint>
#include <vector>

class TTruePeak {
public:
    explicit TTruePeak(int channels);

    // `frames` interleaved frames of every channel, in full scale -1..1.
    void Add(const float* interleaved, int frames);
    // The highest magnitude so far, linear; the last few samples as if
    // silence followed them.
    double Peak() const;
    // Nothing more is added: the peak is settled and the samples kept for
    // the next ones let go.
    void Finish();

    // The samples on either side of a point that its value is interpolated from.
    static constexpr int Before = 5;
    static constexpr int After = 6;

private:
    int channels_;
    // Of every channel, the last samples of the block before (the history
    // the next ones are interpolated with), then those being looked at.
    std::vector<std::vector<float>> lines_;
    float peak_ = 0;
};
