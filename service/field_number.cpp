#include "field_number.h"

namespace morvasvc {

bool ParseFieldNumber(const std::string& text, int64_t* value) {
  const std::string head = text.substr(0, 63);
  size_t i = 0;
  while (i < head.size() && (head[i] == ' ' || (head[i] >= '\t' && head[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < head.size() && (head[i] == '+' || head[i] == '-')) {
    negative = head[i] == '-';
    ++i;
  }
  if (i >= head.size() || head[i] < '0' || head[i] > '9') return false;
  int64_t number = 0;
  for (; i < head.size() && head[i] >= '0' && head[i] <= '9'; ++i) {
    // Beyond 32 bits a field's number means nothing; keep it from overflowing.
    if (number < (int64_t{1} << 40)) number = number * 10 + (head[i] - '0');
  }
  *value = negative ? -number : number;
  return true;
}

}  // namespace morvasvc
