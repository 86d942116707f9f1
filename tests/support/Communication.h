// A communication file written as the export writes one, for records given by a test.
#pragma once

#include <string>

#include "exchange/Export.h"

namespace testing_support {

inline std::string CommunicationFile(const exchange::CStructureRecordList& list, const std::string& tag) {
    exchange::CommunicationBody body;
    for (const census::Structure& record : list.records) {
        body.Add(record);
    }
    return exchange::CommunicationFile(tag, list.company, list.date, body);
}

}  // namespace testing_support
