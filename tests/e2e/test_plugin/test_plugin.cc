// A plug-in for the tests: it answers a few messages through Corvane's bus, as a real plug-in would.
//
//  - "TEST_ECHO" (record payload): sends back, as the task's result, a record with the command's info and data.
//  - "TEST_TEXT" (text payload): sends back the text "echo:" followed by it.
//  - "TEST_TEMP_DIR": asks Corvane for the process folder and sends its path back as text.
//  - "TEST_SILENT": sends nothing (the task then waits until it is stopped).
//  - "TEST_SUB_COMMAND" (text payload "NAME\nTEXT"): calls Corvane's sub-command NAME with TEXT and sends back the
//    document it answers with, as JSON text, or "result:0" when it answers none.
#include <cstdlib>
#include <cstring>
#include <string>

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "corvane/plugin.h"

namespace {

BASHandlerRecord* g_handler = nullptr;

BASObserveData CommandReceive(const char* sub_command, const char* task_id) {
  BASObserveData message{};
  message.message_name = BAS_MESSAGE_COMMAND_RECEIVE;
  message.sub_command = sub_command;
  message.task_id = task_id;
  message.sender_id = g_handler->module_id;
  return message;
}

void SendText(const char* task_id, const std::string& text) {
  BASObserveData result = CommandReceive(BAS_SUB_COMMAND_SEND_RESULT, task_id);
  result.payload_kind = kBASPayloadText;
  result.payload = text.data();
  result.payload_length = text.size();
  g_handler->send(&result);
}

std::string Utf16ToAscii(const char16_t* text) {
  std::string out;
  for (; text != nullptr && *text != 0; ++text) out += static_cast<char>(*text);
  return out;
}

int Receive(BASObserveData* message) {
  if (message->message_name == nullptr) return 0;
  std::string name = message->message_name;
  if (name == "TEST_ECHO" && message->payload_kind == kBASPayloadRecord) {
    BASObserveData result = CommandReceive(BAS_SUB_COMMAND_SEND_RESULT, message->task_id);
    result.payload_kind = kBASPayloadRecord;
    result.payload = message->payload;  // the record Corvane gave us: its info and data go back as they are
    g_handler->send(&result);
  } else if (name == "TEST_TEXT" && message->payload_kind == kBASPayloadText) {
    SendText(message->task_id,
             "echo:" + std::string(static_cast<const char*>(message->payload), message->payload_length));
  } else if (name == "TEST_SUB_COMMAND" && message->payload_kind == kBASPayloadText) {
    std::string text(static_cast<const char*>(message->payload), message->payload_length);
    size_t newline = text.find('\n');
    std::string sub_command = text.substr(0, newline);
    std::string argument = newline == std::string::npos ? std::string() : text.substr(newline + 1);
    BASObserveData query = CommandReceive(sub_command.c_str(), message->task_id);
    query.payload_kind = kBASPayloadText;
    query.payload = argument.data();
    query.payload_length = argument.size();
    g_handler->send(&query);
    if (query.result != 1 || query.payload_kind != kBASPayloadJson) {
      SendText(message->task_id, "result:0");
      return 0;
    }
    const auto* document = static_cast<const rapidjson::Document*>(query.payload);
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document->Accept(writer);
    delete document;
    SendText(message->task_id, std::string(buffer.GetString(), buffer.GetSize()));
  } else if (name == "TEST_TEMP_DIR") {
    BASObserveData query = CommandReceive(BAS_SUB_COMMAND_GET_PROJECT_TEMP_DIR, message->task_id);
    g_handler->send(&query);
    std::string path = Utf16ToAscii(static_cast<const char16_t*>(query.output));
    std::free(query.output);
    SendText(message->task_id, path);
  }
  return 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int RegisterModule(BASHandlerRecord* handler) {
  g_handler = handler;
  handler->receive = &Receive;
  return 0;
}
