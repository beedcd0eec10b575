#pragma once

#include <functional>

namespace murmelo {

// What the desktop says about this application's use of the microphone. The numbers are those that
// desktops with a permission prompt report; a desktop may report a number not listed here, which
// callers must treat as "no access".
enum class MicrophoneAuthorizationStatus : int {
    NotDetermined = 0,
    Restricted = 1,
    Denied = 2,
    Authorized = 3,
};

// The desktop's microphone permission for this application.
class MicrophoneAuthorization {
public:
    virtual ~MicrophoneAuthorization() = default;

    // Answers at once, without asking the user.
    virtual MicrophoneAuthorizationStatus status() const = 0;

    // Returns at once. The desktop may ask the user; completion later runs exactly once, on a thread of
    // the desktop's choosing, so callers must hand the answer to the main queue before acting on it.
    virtual void requestAccess(std::function<void(bool granted)> completion) = 0;

    // The service of the desktop this build runs on; lives for the whole process.
    static MicrophoneAuthorization& system();
};

// For desktops that have no microphone permission, such as the Linux desktops: access is always
// granted, and a request is answered from a background thread like a real prompt would be.
class NullMicrophoneAuthorization final : public MicrophoneAuthorization {
public:
    MicrophoneAuthorizationStatus status() const override;
    void requestAccess(std::function<void(bool granted)> completion) override;
};

} // namespace murmelo
