// A plug-in for the tests: it answers a few messages through Corvane's bus, as a real plug-in would.
//
//  - "TEST_ECHO" (record payload): sends back, as the task's result, a record with the command's info and data.
//  - "TEST_TEXT" (text payload): sends back the text "echo:" followed by it.
//  - "TEST_TEMP_DIR": asks Corvane for the process folder and sends its path back as text.
//  - "TEST_SILENT": sends nothing (the task then waits until it is stopped).
//  - "TEST_SUB_COMMAND" (text payload "NAME\nTEXT"): calls Corvane's sub-command NAME with TEXT and sends back the
//    document it answers with, as JSON text, or "result:0" when it answers none.
//  - "LIBMODEL_IBACKUP_QUERY_NOTE_LIST" (text payload): sends back "notes:" followed by it.
//  - "LIBMODEL_IBACKUP_QUERY_MANIFEST_DB_SUPPORT_TYPE" (request, answered in `output`): looks each of
//    "queryRelativePaths" up in <backupDir>/Manifest.db (Files: fileID by relativePath) and answers the names,
//    "" for a path it does not list; "isEncrypted" is true when <backupDir>/Manifest.plist says so.
//  - "LIBMODEL_IBACKUP_QUERY_WHATSAPP_MEDIAITEM" (request): reads ZWAMEDIAITEM.ZMEDIALOCALPATH of the
//    "chatStorageSqlite" database and answers each as an attachment "Message/<path>" of the WhatsApp app group,
//    with its backup name.
#include <openssl/sha.h>
#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
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

// A request's answer: a malloc'd text in `output`, result 1.
void Answer(BASObserveData* message, const std::string& text) {
  char* output = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(output, text.c_str(), text.size() + 1);
  message->output = output;
  message->result = 1;
}

std::string Json(const rapidjson::Value& value) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  value.Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

std::string BackupName(const std::string& domain, const std::string& relative_path) {
  std::string text = domain + "-" + relative_path;
  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : digest) {
    hex += kHex[byte >> 4];
    hex += kHex[byte & 15];
  }
  return hex;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void AnswerManifestQuery(BASObserveData* message, const rapidjson::Document& request) {
  std::string folder = request["backupDir"].GetString();
  rapidjson::Document reply(rapidjson::kObjectType);
  auto& allocator = reply.GetAllocator();
  // The binary Manifest.plist holds the key and a true/false marker; the simulator's encrypted ones carry a keybag.
  std::string manifest = ReadFile(folder + "Manifest.plist");
  reply.AddMember("isEncrypted", manifest.find("BackupKeyBag") != std::string::npos, allocator);
  rapidjson::Value paths(rapidjson::kObjectType);
  sqlite3* db = nullptr;
  sqlite3_stmt* lookup = nullptr;
  if (sqlite3_open_v2((folder + "Manifest.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_prepare_v2(db, "SELECT fileID FROM Files WHERE relativePath = ? AND flags = 1", -1, &lookup, nullptr);
  }
  for (const auto& member : request["queryRelativePaths"].GetObject()) {
    std::string name;
    if (lookup != nullptr) {
      sqlite3_reset(lookup);
      sqlite3_bind_text(lookup, 1, member.name.GetString(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(lookup) == SQLITE_ROW) name = reinterpret_cast<const char*>(sqlite3_column_text(lookup, 0));
    }
    paths.AddMember(rapidjson::Value(member.name.GetString(), allocator), rapidjson::Value(name.c_str(), allocator),
                    allocator);
  }
  sqlite3_finalize(lookup);
  sqlite3_close(db);
  reply.AddMember("queryRelativePaths", paths, allocator);
  Answer(message, Json(reply));
}

void AnswerMediaItems(BASObserveData* message, const rapidjson::Document& request) {
  rapidjson::Document reply(rapidjson::kObjectType);
  auto& allocator = reply.GetAllocator();
  rapidjson::Value attachments(rapidjson::kArrayType);
  sqlite3* db = nullptr;
  sqlite3_stmt* items = nullptr;
  if (sqlite3_open_v2(request["chatStorageSqlite"].GetString(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db, "SELECT ZMEDIALOCALPATH FROM ZWAMEDIAITEM WHERE ZMEDIALOCALPATH IS NOT NULL", -1,
                         &items, nullptr) == SQLITE_OK) {
    while (sqlite3_step(items) == SQLITE_ROW) {
      std::string relative = "Message/" + std::string(reinterpret_cast<const char*>(sqlite3_column_text(items, 0)));
      rapidjson::Value item(rapidjson::kObjectType);
      item.AddMember("hash",
                     rapidjson::Value(BackupName("AppDomainGroup-group.net.whatsapp.WhatsApp.shared", relative).c_str(),
                                      allocator),
                     allocator);
      item.AddMember("relativePath", rapidjson::Value(relative.c_str(), allocator), allocator);
      attachments.PushBack(item, allocator);
    }
  }
  sqlite3_finalize(items);
  sqlite3_close(db);
  reply.AddMember("attachments", attachments, allocator);
  Answer(message, Json(reply));
}

bool ParseRequest(const BASObserveData* message, rapidjson::Document* request) {
  if (message->payload_kind != kBASPayloadText || message->payload == nullptr) return false;
  request->Parse(static_cast<const char*>(message->payload), message->payload_length);
  return !request->HasParseError() && request->IsObject();
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
  } else if (name == "LIBMODEL_IBACKUP_QUERY_NOTE_LIST" && message->payload_kind == kBASPayloadText) {
    SendText(message->task_id,
             "notes:" + std::string(static_cast<const char*>(message->payload), message->payload_length));
  } else if (name == "LIBMODEL_IBACKUP_QUERY_MANIFEST_DB_SUPPORT_TYPE") {
    rapidjson::Document request;
    if (ParseRequest(message, &request) && request.HasMember("backupDir") && request["backupDir"].IsString() &&
        request.HasMember("queryRelativePaths") && request["queryRelativePaths"].IsObject()) {
      AnswerManifestQuery(message, request);
    }
  } else if (name == "LIBMODEL_IBACKUP_QUERY_WHATSAPP_MEDIAITEM") {
    rapidjson::Document request;
    if (ParseRequest(message, &request) && request.HasMember("chatStorageSqlite") &&
        request["chatStorageSqlite"].IsString()) {
      AnswerMediaItems(message, request);
    }
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
