#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarn {

// A scripted FTP server for transcript tests: it listens on 127.0.0.1, accepts one control
// connection and plays its script on a thread of its own, with blocking sockets, while the
// engine under test runs on the main thread's event loop. Every command line it reads is kept,
// so a test compares the exact commands the engine sent. Reads give up after a few seconds,
// so a script that waits for a command that never comes ends instead of hanging the test.
class TScriptedPeer
{
public:
    TScriptedPeer();
    ~TScriptedPeer();

    int Port() const { return FListenPort; }

    // Script steps, played in order after the control connection is accepted.
    TScriptedPeer &Send(const std::string &Bytes);        // raw bytes on the control
    TScriptedPeer &Expect(const std::string &Reply = {}); // read one command, then reply
    TScriptedPeer &Pause(int Milliseconds);
    TScriptedPeer &Close();       // close the control connection
    TScriptedPeer &DataConnect(); // to the last PORT
    TScriptedPeer &DataSend(const std::string &Bytes);
    TScriptedPeer &DataReceiveAll(); // read until the engine closes
    TScriptedPeer &DataClose();
    TScriptedPeer &Run(std::function<void()> Action); // any other action
    TScriptedPeer &LoggedIn(); // greets, then logs the user u in with the password p

    // Starts playing; Finish waits for the script's end (at most a few seconds).
    void Start();
    void Finish();

    // A new connection from the local address From to the port of the last PORT command, at
    // its address or at To when given, or -1 (the caller owns the socket).
    int ConnectToLastPort(const std::string &From, const std::string &To = {});

    std::vector<std::string> Commands(); // the command lines read, without CR LF
    std::string DataReceived();          // bytes read by DataReceiveAll
    bool Failed();                       // a step could not be played (timeout, refused)

private:
    void Play();
    bool ReadLine(std::string &Line);
    static void WriteAll(int Socket, const std::string &Bytes);

    int FListenSocket = -1;
    int FListenPort = 0;
    int ControlSocket = -1;
    int DataSocket = -1;
    std::string FPending; // control bytes read past the last line
    std::vector<std::function<bool()>> FSteps;
    std::thread FPlayer;
    std::mutex FLock;
    std::vector<std::string> FReceived;
    std::string FData;
    bool FFailed = false;
};

} // namespace tarn
