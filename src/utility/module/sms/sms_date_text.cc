#include "utility/module/sms/sms_date_text.h"

#include "utility/date_text.h"

std::string SmsDateText(int64_t date) { return date == 0 ? std::string() : ReferenceDateText(date); }
