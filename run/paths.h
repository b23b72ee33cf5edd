#pragma once

#include <cstddef>

#include "platform/winpack_paths.h"

// What a run reads and writes, by the names of platform/winpack_paths.h.
namespace run {

using winpack::kArchiveRoot;
using winpack::kBulls;
using winpack::kJournal;
using winpack::kLastNumFile;
using winpack::kMarkedList;
using winpack::kNewJournal;
using winpack::kNewMarkedList;
using winpack::kOldMarkedList;
using winpack::kPacketIni;
using winpack::kRunLock;
using winpack::kStaging;

/// Ends the name of a staged copy set aside for the user; such a copy is never removed.
inline constexpr char kKept[] = ".kept";
/// Bulletins whose copies are made durable together before they go to the trash.
inline constexpr std::size_t kBatchSize = 512;

}  // namespace run
