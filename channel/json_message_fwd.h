#pragma once

// The parsed-message types by name only, for headers that pass them along
// without parsing: channel/json_message.h, which brings in the JSON library,
// stays in the units that read members.
namespace earshot::channel {

class IncomingMessage;
class JsonMessageParser;

}  // namespace earshot::channel
