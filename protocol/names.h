#pragma once

#include <string_view>

// The names on the wire: message types, members and the fixed values of
// members. Hosts match on them byte for byte.
namespace earshot::protocol {

// The "type" of each message.
namespace type {
// From the host.
inline constexpr std::string_view kInit = "init";
inline constexpr std::string_view kAudio = "audio";
inline constexpr std::string_view kFlush = "flush";
inline constexpr std::string_view kStop = "stop";
// From the program.
inline constexpr std::string_view kReady = "ready";
inline constexpr std::string_view kStatus = "status";
inline constexpr std::string_view kTranscript = "transcript";
inline constexpr std::string_view kFlushed = "flushed";
inline constexpr std::string_view kStopped = "stopped";
inline constexpr std::string_view kError = "error";
inline constexpr std::string_view kLocales = "locales";
inline constexpr std::string_view kInstallProgress = "install-progress";
inline constexpr std::string_view kInstallDone = "install-done";
inline constexpr std::string_view kReleaseDone = "release-done";
}  // namespace type

// Member names.
namespace member {
inline constexpr std::string_view kType = "type";
inline constexpr std::string_view kLocale = "locale";
inline constexpr std::string_view kSampleRate = "sampleRate";
// "audio"
inline constexpr std::string_view kPcm = "pcm";
// "init" options
inline constexpr std::string_view kAttributeOptions = "attributeOptions";
inline constexpr std::string_view kContextualStrings = "contextualStrings";
inline constexpr std::string_view kAcknowledgeFlush = "acknowledgeFlush";
// "transcript" and its words
inline constexpr std::string_view kText = "text";
inline constexpr std::string_view kIsFinal = "isFinal";
inline constexpr std::string_view kStart = "start";
inline constexpr std::string_view kEnd = "end";
inline constexpr std::string_view kConfidence = "confidence";
inline constexpr std::string_view kWords = "words";
// "status" and "error"
inline constexpr std::string_view kPhase = "phase";
inline constexpr std::string_view kMessage = "message";
// The one-shot modes' answers
inline constexpr std::string_view kAvailable = "available";
inline constexpr std::string_view kSupported = "supported";
inline constexpr std::string_view kInstalled = "installed";
inline constexpr std::string_view kReserved = "reserved";
inline constexpr std::string_view kMaxReserved = "maxReserved";
inline constexpr std::string_view kFraction = "fraction";
inline constexpr std::string_view kReleased = "released";
}  // namespace member

// Fixed values of members.
namespace value {
// "attributeOptions"
inline constexpr std::string_view kAudioTimeRange = "audioTimeRange";
inline constexpr std::string_view kTranscriptionConfidence = "transcriptionConfidence";
// "phase" of the "status" line before a model download
inline constexpr std::string_view kAssetDownload = "asset-download";
}  // namespace value

}  // namespace earshot::protocol
