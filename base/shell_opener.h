#pragma once
// Opening a document or link with the application the desktop associates with it.
// Windows take an opener so that tests can see what would have been opened.
#include <string>

namespace kelvora {

class TShellOpener {
public:
    virtual ~TShellOpener() = default;
    // A file path (byte string) or a URL; true when the opener could be started.
    virtual bool open(const std::string& target) = 0;
};

// Runs xdg-open, in the background, with the target's bytes as they are.
class TXdgOpener : public TShellOpener {
public:
    bool open(const std::string& target) override;
};

TShellOpener& DefaultShellOpener();

} // namespace kelvora
