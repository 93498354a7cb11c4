#pragma once

#include <optional>
#include <string>
#include <string_view>

// The texts the program's own failures and notices show the host. Hosts
// compare them byte for byte, so each is written here once. (The platform's
// failures carry their own texts; they reach the host unchanged.)
namespace earshot::protocol::text {

// The first line is not an "init" message.
inline constexpr char kExpectedInit[] = "Expected init message";
// A line after "ready" that is not a JSON object, or too long to keep.
inline constexpr char kInvalidAudioMessage[] = "Invalid audio message";
// Every way an object after "ready" can fail to be good audio, "flush" or "stop".
inline constexpr char kInvalidPcm[] = "Expected mono Int16 PCM with a valid sample rate";
// Speech services are not available on this machine.
inline constexpr char kSpeechUnavailable[] =
    "Apple Speech requires macOS 26 and supported Apple hardware.";
// Audio conversion.
inline constexpr char kUnsupportedInputFormat[] = "Unsupported input audio format";
inline constexpr char kConversionFailed[] = "Audio conversion failed";
inline constexpr char kConverterDidNotFinish[] = "Audio converter did not finish flushing";
inline constexpr char kConverterFlushLimit[] = "Audio converter exceeded its flush limit";
// A failure that carries no text of its own.
inline constexpr char kUnknownFailure[] = "Unknown failure";
// The process was ended from inside a library, which said nothing.
inline constexpr char kEngineEndedProcess[] = "The speech engine ended the process.";

// Where an unsupported locale is refused: the live mode adds advice.
enum class Refusal { liveTranscription, assetMode };

// The refusal of a locale no model serves, quoting the request as given.
std::string unsupportedLanguage(std::string_view requested, Refusal where);
// The requested locale of a text unsupportedLanguage wrote, or nullopt when
// `message` is not such a text.
std::optional<std::string> unsupportedLanguageRequest(std::string_view message);

// The locale resolved but its model has no audio format.
std::string modelUnavailable(std::string_view locale);
// The "status" message while a missing model downloads.
std::string downloadingModel(std::string_view locale);

}  // namespace earshot::protocol::text
