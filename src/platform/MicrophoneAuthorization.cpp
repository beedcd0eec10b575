#include "MicrophoneAuthorization.h"

#include "Dispatch.h"

#include <utility>

namespace murmelo {

MicrophoneAuthorization& MicrophoneAuthorization::system() {
    static NullMicrophoneAuthorization service;
    return service;
}

MicrophoneAuthorizationStatus NullMicrophoneAuthorization::status() const {
    return MicrophoneAuthorizationStatus::Authorized;
}

void NullMicrophoneAuthorization::requestAccess(std::function<void(bool granted)> completion) {
    BackgroundQueue::async([completion = std::move(completion)] { completion(true); });
}

} // namespace murmelo
