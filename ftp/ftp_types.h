#pragma once

#include <cstdint>

namespace tarn {

// The engine's enumerations. The numbers are the stored values and must not change.

// Where the engine stands; a request may start only in fsReady or fsStepReady.
enum TFtpState : uint8_t {
    fsOffline = 0,     // the control connection has closed
    fsReady = 1,       // idle; initial value
    fsStepReady = 2,   // between two steps of a chained request
    fsLookup = 3,      // host name lookup running
    fsConnected = 4,   // greeting 220 received
    fsAborting = 5,    // Abort running
    fsAwaitBanner = 7, // connecting, or connected and the greeting not yet complete
    fsAwaitReply = 8,  // a command was sent; its reply is awaited
};

// The request that OnRequestDone reports (numbers not listed are not used).
enum TFtpRequest : uint8_t {
    rqNone = 0,
    rqOpen = 1,
    rqUser = 2,
    rqPass = 3,
    rqCwd = 4,
    rqConnect = 5,
    rqFullGet = 6,
    rqDir = 7,
    rqLs = 8,
    rqPort = 9,
    rqGet = 10,
    rqFullDir = 11,
    rqFullLs = 12,
    rqFullSyst = 13,
    rqSyst = 14,
    rqQuit = 15,
    rqSize = 16,
    rqPut = 17,
    rqAppend = 18,
    rqMkd = 21,
    rqRmd = 22,
    rqFullRename = 23,
    rqDele = 24,
    rqRename = 25,
    rqRenameTo = 26,
    rqRenameFrom = 27,
    rqFullDele = 28,
    rqFullMkd = 29,
    rqFullRmd = 30,
    rqPwd = 31,
    rqQuote = 32,
    rqFullQuote = 34,
    rqFullPut = 35,
    rqTypeSet = 36,
    rqRest = 37,
    rqRestGet = 38,
    rqFullRestGet = 39,
};

// The steps of a chained request; a step's number is its bit in a TFtpSteps set.
enum TFtpStep : uint8_t {
    stNone = 0,
    stOpen = 1,
    stUser = 2,
    stPass = 3,
    stCwd = 4,
    stSize = 5,
    stMkd = 6,
    stRmd = 7,
    stRenameFrom = 8,
    stRenameTo = 9,
    stGet = 10,
    stDir = 11,
    stQuit = 12,
    stSyst = 13,
    stDele = 14,
    stPwd = 15,
    stQuote = 16,
    stPut = 17,
    stTypeSet = 18,
    stRest = 19,
    stCDup = 20,
    stLs = 21,
    stAppend = 22,
    stPort = 23,
};

using TFtpSteps = uint32_t;

constexpr TFtpSteps StepBit(TFtpStep Step)
{
    return TFtpSteps(1) << Step;
}

} // namespace tarn
