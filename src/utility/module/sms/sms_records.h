// The records a message database is read into: conversations, their correspondents and their messages.
//
// A conversation is keyed by its conversation key (the chat identifier, or in the old layout the correspondent's
// address as a decimal number); several chat rows with the same identifier make one conversation. Its date and
// snippet are those of the last message added, in the order the messages were read.
//
// Thread safety: plain values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct SmsCorrespondent {
  int64_t handle_rowid = 0;
  int64_t chat_rowid = 0;
  std::string service;
  std::string country;
  std::string address;  // the handle's "id": a phone number or a mail address
};

struct SmsMessage {
  int64_t rowid = 0;
  std::string text;
  int64_t date = 0;  // seconds or nanoseconds since 2001 (see sms_date_text.h)
  int64_t date_read = 0;
  int64_t is_from_me = 0;
  int64_t is_read = 0;
  int64_t is_sent = 0;
  int64_t error = 0;
  int64_t handle_id = 0;
  std::string address;  // the correspondent's address
  std::string subject;
  std::string account;
  std::string account_guid;
};

struct SmsConversation {
  int64_t rowid = 0;
  std::string key;
  int is_group = 0;
  int64_t date = 0;
  std::string snippet;
  std::string display_phone;  // addresses, each followed by ","
  std::vector<SmsCorrespondent> correspondents;
  size_t message_count = 0;
  std::vector<SmsMessage> messages;  // in reading order; empty when only the summary was kept

  // Whether the messages were read in order of (date, row id), which lets them be read again later by a query
  // that sorts by conversation and (date, row id) and get the same sequence (see sms_stream.h).
  bool in_date_rowid_order = true;
  int64_t last_message_rowid = 0;
  // Chat layout: the chat rows the messages came from (each chat row has one key), and whether some came from no
  // chat row at all (those have the empty key). With these the messages can be read again conversation by
  // conversation.
  std::vector<int64_t> chat_rowids;
  bool has_rows_without_chat = false;
};

// Adds `address` and "," to the display phone unless it is already one of its addresses; empty addresses are no
// phone to display and are left out.
void AddDisplayAddress(const std::string& address, std::string* display_phone);
