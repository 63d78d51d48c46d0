#ifndef MORVASVC_FIELD_NUMBER_H_
#define MORVASVC_FIELD_NUMBER_H_

#include <cstdint>
#include <string>

namespace morvasvc {

// A window field's number: at most 63 characters, blanks, an optional sign
// and at least one digit; what follows is ignored. false without digits.
bool ParseFieldNumber(const std::string& text, int64_t* value);

}  // namespace morvasvc

#endif
