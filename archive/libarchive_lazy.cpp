// libarchive's functions as the archiver calls them, each forwarding to the library, which is
// loaded on the first call.
#include "platform/lazy_library.h"

#include <archive.h>
#include <archive_entry.h>

namespace {

folivo::LazyLibrary libarchive("libarchive.so.13");

} // namespace

// Without the library, every reader and writer fails to be made and the version is 0: the
// archiver is then reported missing, as when it is not installed. The parameters are named
// here, not as the header names them.
// NOLINTBEGIN(readability-inconsistent-declaration-parameter-name)
#define FORWARD(Result, name, Parameters, Arguments, Fallback)                                     \
    FOLIVO_LAZY_FORWARD(libarchive, Result, name, Parameters, Arguments, Fallback)

FORWARD(int, archive_version_number, (), (), 0)
FORWARD(struct archive*, archive_read_new, (), (), nullptr)
FORWARD(int, archive_read_support_format_zip, (struct archive * a), (a), ARCHIVE_FATAL)
FORWARD(int, archive_read_support_format_lha, (struct archive * a), (a), ARCHIVE_FATAL)
FORWARD(int, archive_read_support_format_rar, (struct archive * a), (a), ARCHIVE_FATAL)
FORWARD(int, archive_read_support_format_rar5, (struct archive * a), (a), ARCHIVE_FATAL)
FORWARD(int, archive_read_support_format_7zip, (struct archive * a), (a), ARCHIVE_FATAL)
FORWARD(int, archive_read_support_format_tar, (struct archive * a), (a), ARCHIVE_FATAL)
FORWARD(int, archive_read_support_filter_gzip, (struct archive * a), (a), ARCHIVE_FATAL)
FORWARD(int, archive_read_support_filter_bzip2, (struct archive * a), (a), ARCHIVE_FATAL)
FORWARD(int, archive_read_support_filter_xz, (struct archive * a), (a), ARCHIVE_FATAL)
FORWARD(int, archive_read_has_encrypted_entries, (struct archive * a), (a),
        ARCHIVE_READ_FORMAT_ENCRYPTION_DONT_KNOW)
FORWARD(int, archive_format, (struct archive * a), (a), 0)
FORWARD(int, archive_filter_count, (struct archive * a), (a), 0)
FORWARD(int, archive_read_set_format_option,
        (struct archive * a, const char* m, const char* o, const char* v), (a, m, o, v),
        ARCHIVE_FATAL)
FORWARD(int, archive_read_open_filename, (struct archive * a, const char* name, size_t block),
        (a, name, block), ARCHIVE_FATAL)
FORWARD(int, archive_read_next_header, (struct archive * a, struct archive_entry** entry),
        (a, entry), ARCHIVE_FATAL)
FORWARD(int, archive_read_data_block,
        (struct archive * a, const void** buffer, size_t* size, la_int64_t* offset),
        (a, buffer, size, offset), ARCHIVE_FATAL)
FORWARD(int, archive_read_free, (struct archive * a), (a), ARCHIVE_FATAL)
FORWARD(la_int64_t, archive_filter_bytes, (struct archive * a, int n), (a, n), -1)
FORWARD(struct archive*, archive_write_disk_new, (), (), nullptr)
FORWARD(int, archive_write_disk_set_options, (struct archive * a, int flags), (a, flags),
        ARCHIVE_FATAL)
FORWARD(int, archive_write_header, (struct archive * a, struct archive_entry* entry), (a, entry),
        ARCHIVE_FATAL)
FORWARD(la_ssize_t, archive_write_data_block,
        (struct archive * a, const void* buffer, size_t size, la_int64_t offset),
        (a, buffer, size, offset), ARCHIVE_FATAL)
FORWARD(int, archive_write_finish_entry, (struct archive * a), (a), ARCHIVE_FATAL)
FORWARD(int, archive_write_free, (struct archive * a), (a), ARCHIVE_FATAL)
FORWARD(struct archive_entry*, archive_entry_new, (), (), nullptr)
FORWARD(void, archive_entry_free, (struct archive_entry * e), (e), )
FORWARD(struct archive_entry*, archive_entry_clear, (struct archive_entry * e), (e), e)
FORWARD(const char*, archive_entry_pathname, (struct archive_entry * e), (e), nullptr)
FORWARD(void, archive_entry_copy_pathname, (struct archive_entry * e, const char* name),
        (e, name), )
FORWARD(const char*, archive_entry_hardlink, (struct archive_entry * e), (e), nullptr)
FORWARD(__LA_MODE_T, archive_entry_filetype, (struct archive_entry * e), (e), 0)
FORWARD(void, archive_entry_set_filetype, (struct archive_entry * e, unsigned int type),
        (e, type), )
FORWARD(void, archive_entry_set_perm, (struct archive_entry * e, __LA_MODE_T perm), (e, perm), )
FORWARD(int, archive_entry_is_encrypted, (struct archive_entry * e), (e), 0)
FORWARD(la_int64_t, archive_entry_size, (struct archive_entry * e), (e), 0)
FORWARD(int, archive_entry_size_is_set, (struct archive_entry * e), (e), 0)
FORWARD(time_t, archive_entry_mtime, (struct archive_entry * e), (e), 0)
FORWARD(long, archive_entry_mtime_nsec, (struct archive_entry * e), (e), 0)
FORWARD(int, archive_entry_mtime_is_set, (struct archive_entry * e), (e), 0)
FORWARD(void, archive_entry_set_mtime, (struct archive_entry * e, time_t t, long ns), (e, t, ns), )

#undef FORWARD
// NOLINTEND(readability-inconsistent-declaration-parameter-name)
