#include "tests/stats/stats_test_util.h"

namespace stats_test {

std::string ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const tarsel::mwException& e) {
        return e.what();
    }
    return "";
}

bool MessageIs(const std::string& message, const std::string& expected)
{
    return message == expected || message.rfind(expected + " (in ", 0) == 0;
}

tarsel::mwArray Row(const std::vector<double>& v)
{
    return tarsel::mwArray::Column(v).Transposed();
}

tarsel::mwArray Col(const std::vector<double>& v)
{
    return tarsel::mwArray::Column(v);
}

} // namespace stats_test
