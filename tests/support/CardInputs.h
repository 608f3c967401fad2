#pragma once

// A capture card with a tuner, a composite and an S-Video input, as its driver lists them; it
// keeps every input it is told to select.

#include "graph/CrossBar.h"

#include <vector>

namespace vidorel::test {

struct TCardInputs : IVideoInputs {
    std::vector<int> selected;
    std::vector<TVideoInput> Enumerate() override {
        return {{0, "Television", true}, {1, "Composite1", false}, {2, "S-Video", false}};
    }
    bool Select(int index) override {
        selected.push_back(index);
        return true;
    }
};

} // namespace vidorel::test
