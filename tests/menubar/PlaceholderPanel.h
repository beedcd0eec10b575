#pragma once

#include "AudioRecorder.h"
#include "Binding.h"

#include <QWidget>

namespace murmelo {

// Stands in for the recorder panel where a test looks at the window around it: it keeps what the
// manager hands over, so the test can reach the recorder and drive the isShowing binding as the
// panel's Close button does.
class PlaceholderPanel : public QWidget {
public:
    PlaceholderPanel(AudioRecorder& sharedRecorder, Binding<bool> isShowingBinding)
        : recorder(sharedRecorder)
        , isShowing(std::move(isShowingBinding)) {}

    AudioRecorder& recorder;
    Binding<bool> isShowing;
};

} // namespace murmelo
