// The interface between Corvane and its plug-in libraries.
//
// A plug-in is a shared library that exports `RegisterModule`. Corvane calls it once after loading, with a handler
// record whose `send` function is Corvane's message bus; the plug-in keeps `send`, stores its own `receive`
// function in the record and returns 0. Messages on the bus are `BASObserveData` records. The field order of
// every struct here is fixed: plug-ins are built against this header.
//
// Thread safety: `receive` may be called on any of Corvane's worker threads, several at once; `send` may be called
// from any thread, also from inside `receive`.
#pragma once

#include <stdint.h>

// What `payload` points to.
enum BASPayloadKind {
  kBASPayloadText = 0,    // UTF-8 text of `payload_length` bytes
  kBASPayloadJson = 1,    // a rapidjson::Value (rapidjson::Document is one); see the ownership rule below
  kBASPayloadRecord = 2,  // a BASPayloadRecord
};

// Ownership of a JSON payload a sub-command hands back: a sub-command that answers by replacing the payload
// (BAS_SUB_COMMAND_SMS_QUERY_CONVERSATION_LIST) sets payload_kind to kBASPayloadJson, payload to a
// rapidjson::Document allocated with `new`, payload_length to 0 and result to 1. The caller owns that document from
// then on and frees it with `delete static_cast<const rapidjson::Document*>(message.payload)`; it must keep its own
// pointer to the payload it sent, which stays the caller's as before. When the result is 0 the payload is left as
// the caller set it. The plug-in must be built against the same RapidJSON headers as Corvane.

// Requests Corvane sends to plug-ins ("LIBMODEL_IBACKUP_QUERY_MANIFEST_DB_SUPPORT_TYPE",
// "LIBMODEL_IBACKUP_QUERY_WHATSAPP_MEDIAITEM") carry their JSON text as a text payload; the plug-in answers
// before its receive function returns, by setting `output` to a NUL-terminated UTF-8 JSON text allocated with
// malloc (Corvane frees it) and `result` to 1. Corvane waits a limited time; anything else is no answer.

// Payload of kind kBASPayloadRecord: a JSON value (or null) plus raw bytes.
struct BASPayloadRecord {
  const void* json;  // a rapidjson::Value, or null
  const void* data;
  uint64_t data_length;
};

struct BASObserveData {
  void* reserved0;
  const char* task_id;       // decimal task id of the host command this message belongs to
  int32_t payload_kind;      // a BASPayloadKind
  const char* message_name;  // e.g. "LIBMODEL_PLUGIN_COMMAND_RECEIVE" or a sub-command name
  const char* sub_command;   // the sub-command asked of the receiver, when the message names one
  void* reserved1;
  int64_t result;            // set by the handler
  void* output;              // set by the handler (e.g. a UTF-16 path allocated with malloc; the caller frees it)
  void* reserved2;
  const void* payload;
  uint64_t payload_length;
  void* reserved3;
  uintptr_t sender_id;       // module handle of the sender; a message without one is not delivered
  uintptr_t target_id;       // 0: every subscriber but the sender; else only that module
};

typedef int (*BASMessageFunc)(struct BASObserveData* message);

struct BASHandlerRecord {
  BASMessageFunc send;     // filled by Corvane: the message bus
  BASMessageFunc receive;  // filled by the plug-in in RegisterModule
  uintptr_t module_id;     // the plug-in's module handle, as Corvane knows it
};

// The entry point every plug-in exports.
typedef int (*BASRegisterModuleFunc)(struct BASHandlerRecord* handler);

// Names Corvane itself answers when a plug-in sends "LIBMODEL_PLUGIN_COMMAND_RECEIVE" with them as sub-command.
#define BAS_MESSAGE_COMMAND_RECEIVE "LIBMODEL_PLUGIN_COMMAND_RECEIVE"
#define BAS_SUB_COMMAND_SEND_RESULT "LIBMODEL_PLUGIN_SEND_RESULT"
#define BAS_SUB_COMMAND_DECOMPRESS_ZIP_STREAM "LIBPLATFORM_DECOMPRESS_ZIP_STREAM"
#define BAS_SUB_COMMAND_GET_PROJECT_TEMP_DIR "LIBPLATFORM_GET_PROJECT_TEMP_DIR"
#define BAS_SUB_COMMAND_SMS_QUERY_CONVERSATION_LIST "LIBPLATFORM_SMS_QUERY_CONVERSATION_LIST"
// The photo queries take {"path":..,"productVersion":..[,"albumId":..,"albumType":..]} as text and answer
// {"photos":[..]} or {"albums":[..]} under the ownership rule above.
#define BAS_SUB_COMMAND_PHOTO_QUERY_CAMERA_ROLL_LIST "LIBPLATFORM_PHOTO_QUERY_CAMERA_ROLL_LIST"
#define BAS_SUB_COMMAND_PHOTO_QUERY_ALBUM_LIST "LIBPLATFORM_PHOTO_QUERY_ALBUM_LIST"
#define BAS_SUB_COMMAND_PHOTO_QUERY_PHOTO_FROM_ALBUM "LIBPLATFORM_PHOTO_QUERY_PHOTO_FROM_ALBUM"
