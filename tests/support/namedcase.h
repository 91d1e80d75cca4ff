// Table cases that gtest lists and names by their name: derive the case from CNamedCase, keep it an
// aggregate ({"Name", ...}) and end INSTANTIATE_TEST_SUITE_P with CCaseName().
#pragma once

#include <ostream>
#include <string>

#include <gtest/gtest.h>

struct CNamedCase
{
    const char* pszName;
};

// gtest's printer finds this by ADL before its byte dump; a PrintTo would lose to gtest's own template.
inline std::ostream& operator<<(std::ostream& stream, const CNamedCase& namedCase)
{
    return stream << namedCase.pszName;
}

struct CCaseName
{
    template <class TCase>
    std::string operator()(const ::testing::TestParamInfo<TCase>& info) const
    {
        return info.param.pszName;
    }
};
