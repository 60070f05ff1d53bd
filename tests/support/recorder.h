// An observer that records every report of a run: as events, for comparing runs, and as the
// texts a progress display shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/quantize/observer.h"
#include "core/text/texts.h"

namespace testimg {

class Recorder : public quantize::DiffusionObserver {
  public:
    void Opening(int f, int b, int n) override {
        events.push_back("open " + std::to_string(f) + " " + std::to_string(b) + " " +
                         std::to_string(n));
    }
    void Phase(int phase) override {
        phase_ = phase;
        events.push_back("phase " + std::to_string(phase));
    }
    void Progress(std::int64_t done, std::int64_t total) override {
        events.push_back(std::to_string(done) + "/" + std::to_string(total));
        texts.push_back(std::string(kPhaseLabels[phase_]) + "\n\r" + std::to_string(done) + " / " +
                        std::to_string(total));
    }
    void PaletteComplete() override { events.push_back("palette"); }
    void Finished() override { events.push_back("finished"); }

    std::vector<std::string> events;
    std::vector<std::string> texts; // "label\n\rdone / total", as the conversion window shows

  private:
    int phase_ = 0;
};

} // namespace testimg
