#pragma once

#include "channel/outgoing_message.h"
#include "platform/speech_transcriber.h"

namespace earshot::session {

// The "transcript" line of one result: "text" and "isFinal"; with the audio
// time range, "start", "end" and "words" with their times; with confidence,
// for a final result, "confidence" for the result (the mean of its words',
// 0 without words) and for each of its words. Times are rounded to the
// millisecond, confidences to three decimals.
channel::OutgoingMessage transcriptMessage(const platform::TranscriptionResult& result,
                                           const platform::AttributeOptions& attributes);

}  // namespace earshot::session
