#pragma once

// A TPlayerView that remembers what the player told it, for tests.

#include "player/player_view.h"

#include <functional>
#include <string>
#include <vector>

namespace tarn::test {

class TRecordingView : public TPlayerView
{
public:
    std::vector<std::string> Lines; // the log as the view sees it
    std::vector<std::string> Status;
    std::vector<bool> Running;
    int ScriptChanges = 0;
    int CloseRequests = 0;
    std::function<void()> OnBetweenLines;

    void LogLineAppended(const std::string &Line) override { Lines.push_back(Line); }
    void LogCleared() override { Lines.clear(); }
    void StatusChanged(const std::string &Text) override { Status.push_back(Text); }
    void ScriptChanged() override { ++ScriptChanges; }
    void RunningChanged(bool Value) override { Running.push_back(Value); }
    void CloseRequested() override { ++CloseRequests; }
    void BetweenLines() override
    {
        if (OnBetweenLines)
            OnBetweenLines();
    }
};

} // namespace tarn::test
