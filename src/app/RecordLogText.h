// The log's lines about the record of what Pontaro opened (OpenedRecord.h):
// what the sweep and "開いたポートをすべて閉じる" closed, and trouble with
// the record's file.
#pragma once

#include <string>

#include "app/OpenedRecord.h"
#include "app/SessionEvents.h"
#include "app/texts/Catalog.h"

namespace activity_log {

// The outcomes that complete a swept entry's line.
inline constexpr texts::Message kSwept{texts::Msg::kSwept};
inline constexpr texts::Message kSweepFailure{texts::Msg::kSweepFailure};
inline constexpr texts::Message kNothingRecorded{texts::Msg::kNothingRecorded};
// Under the listing when some of its rows are Pontaro's.
inline constexpr texts::Message kTableMadeNote{texts::Msg::kTableMadeNote};

// "■ %d [%s] : " for a mapping, the pinhole's start for a pinhole.
std::string RecordedStartText(const OpenedEntry& entry);
std::string RecordTroubleText(const OpenedRecord::Trouble& trouble);
std::string RecordedElsewhereText(const session::RecordedElsewhere& e);

}  // namespace activity_log
