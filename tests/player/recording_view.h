#pragma once

// A PlayerView that remembers what the player told it, for tests.

#include "player/player_view.h"

#include <functional>
#include <string>
#include <vector>

namespace tarn::test {

class RecordingView : public PlayerView
{
public:
    std::vector<std::string> Lines; // the log as the view sees it
    std::vector<std::string> Status;
    std::vector<bool> Running;
    int ScriptChanges = 0;
    int CloseRequests = 0;
    std::function<void()> OnBetweenLines;

    void LogLineAppended(const std::string &line) override { Lines.push_back(line); }
    void LogCleared() override { Lines.clear(); }
    void StatusChanged(const std::string &text) override { Status.push_back(text); }
    void ScriptChanged() override { ++ScriptChanges; }
    void RunningChanged(bool running) override { Running.push_back(running); }
    void CloseRequested() override { ++CloseRequests; }
    void BetweenLines() override
    {
        if (OnBetweenLines)
            OnBetweenLines();
    }
};

} // namespace tarn::test
