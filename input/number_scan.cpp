// One record-line number: syntax, then value.
#include "input/number_scan.hpp"

#include "input/decimal_value.hpp"
#include "input/number_syntax.hpp"

NumberScan scan_number(const char* p) {
  DecimalToken t;
  if (!scan_decimal_syntax(p, &t))
    return NumberScan{p, 0.0, false};
  NumberScan s;
  s.end = t.end;
  s.value = decimal_value(t, &s.range_error);
  return s;
}
