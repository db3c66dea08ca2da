// The library's exception type and the texts of system error codes.
#include <string>

#include "os/process.h"
#include "zem_util/system.h"

namespace zem_util {

Exception::~Exception() = default;
void Exception::setMessage(const ArrayPtr<char>& message) { message_ = message; }
ArrayPtr<char> Exception::getMessage() const { return message_; }
int Exception::getRetCode() const { return retCode_; }

ArrayPtr<char> getSystemErrorMsg(unsigned int code) {
  std::string text;
  if (os::getSystemErrorText(code, &text))
    return ArrayPtr<char>(text.data(), 0, static_cast<std::int32_t>(text.size()));
  return format("error code %u", code);
}

ArrayPtr<char> getSystemErrorMsg(const char* function, unsigned int code) {
  std::string text;
  if (os::getSystemErrorText(code, &text))
    return format("'%s' returned error code %u : %s", function, code, text.c_str());
  return format("'%s' returned error code %u", function, code);
}

ArrayPtr<char> getSystemErrorMsg(const char* context, const char* function, unsigned int code) {
  std::string text;
  if (os::getSystemErrorText(code, &text))
    return format("%s : '%s' returned error code %u : %s", context, function, code, text.c_str());
  return format("%s : '%s' returned error code %u", context, function, code);
}

}  // namespace zem_util
