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
class ScriptedPeer
{
public:
    ScriptedPeer();
    ~ScriptedPeer();

    int Port() const { return ListenPort; }

    // Script steps, played in order after the control connection is accepted.
    ScriptedPeer &Send(const std::string &Bytes);        // raw bytes on the control
    ScriptedPeer &Expect(const std::string &Reply = {}); // read one command, then reply
    ScriptedPeer &Pause(int Milliseconds);
    ScriptedPeer &Close();       // close the control connection
    ScriptedPeer &DataConnect(); // to the last PORT
    ScriptedPeer &DataSend(const std::string &Bytes);
    ScriptedPeer &DataReceiveAll(); // read until the engine closes
    ScriptedPeer &DataClose();
    ScriptedPeer &Run(std::function<void()> Action); // any other action

    // Starts playing; Finish waits for the script's end (at most a few seconds).
    void Start();
    void Finish();

    // A new connection from the local address From to the address of the last PORT command,
    // or -1 (the caller owns the socket).
    int ConnectToLastPort(const std::string &From);

    std::vector<std::string> Commands(); // the command lines read, without CR LF
    std::string DataReceived();          // bytes read by DataReceiveAll
    bool Failed();                       // a step could not be played (timeout, refused)

private:
    void Play();
    bool ReadLine(std::string &Line);
    static void WriteAll(int Socket, const std::string &Bytes);

    int ListenSocket = -1;
    int ListenPort = 0;
    int ControlSocket = -1;
    int DataSocket = -1;
    std::string Pending; // control bytes read past the last line
    std::vector<std::function<bool()>> Steps;
    std::thread Player;
    std::mutex Lock;
    std::vector<std::string> Received;
    std::string Data;
    bool Failure = false;
};

} // namespace tarn
