#pragma once

#include <optional>
#include <string>

namespace tarn {

// The answers to a server certificate that could not be verified.
enum TCertificateAnswer {
    caCancel,      // refuse it: the connection is not made
    caTrustOnce,   // accept it for this connection only
    caAlwaysTrust, // accept it now and from now on (the caller remembers it)
};

// The one way program logic reaches a person: message boxes, Yes/No questions, one-line input
// boxes and the file and directory pickers. Windows use TWidgetDialogs
// (support/ui/widget_dialogs.h); tests answer with their own implementation; a program with no
// display would answer without asking.
//
// Texts and names are byte strings in the local 8-bit encoding, as everywhere in Tarn.
class TUserDialogs
{
public:
    // A file dialog. `Filter` is "Description|*.ext" (pairs joined by "|", several patterns in
    // one pair separated by ";"); `DefaultExt` ("tnc", without the dot) is appended to a typed
    // name that has no extension; `InitialName` is the proposed file name.
    struct TFileRequest
    {
        std::string Title;
        std::string Filter;
        std::string DefaultExt;
        std::string InitialName;
    };

    virtual ~TUserDialogs() = default;

    // Modal boxes with an OK button: an information and an error.
    virtual void Information(const std::string &Text) = 0;
    virtual void Error(const std::string &Text) = 0;
    // A confirmation with Yes and No; true for Yes.
    virtual bool Confirm(const std::string &Text) = 0;
    // A server's certificate could not be verified: `Text` says whose it is, who issued it,
    // when it is valid, its fingerprint and why it did not verify. Buttons "Trust once",
    // "Always trust" and "Cancel" (the default: closing the box cancels).
    virtual TCertificateAnswer CertificateQuestion(const std::string &Text) = 0;
    // A one-line input box with a caption, a prompt text, and an edit of at most 255
    // characters that starts with `Value`, selected; OK and Cancel. The text typed when the
    // user pressed OK, nothing when the user cancelled.
    virtual std::optional<std::string>
    InputQuery(const std::string &Caption, const std::string &Prompt, const std::string &Value) = 0;

    // Asks for an existing file to open; nothing when the user cancels.
    virtual std::optional<std::string> OpenFileName(const TFileRequest &Request) = 0;
    // Asks for a file to write in an existing folder; an existing file is chosen without a
    // question. Nothing when the user cancels.
    virtual std::optional<std::string> SaveFileName(const TFileRequest &Request) = 0;
    // Asks for a directory, offering to create a new one; nothing when the user cancels.
    virtual std::optional<std::string> DirectoryName(const std::string &Title,
                                                     const std::string &Start) = 0;
    // Asks for a colour, starting at Start; a colour name "#rrggbb", nothing when the user
    // cancels.
    virtual std::optional<std::string> ColorName(const std::string &Title,
                                                 const std::string &Start) = 0;
};

} // namespace tarn
