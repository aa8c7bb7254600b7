/*
 * Local memory blocks shared between processes: the program's extension to
 * the local memory functions, for its decoding helper. Blocks of
 * KELVORA_LOCAL_FILE_FROM bytes or more live in a memory file that holds the
 * block's 32-byte header and then its data, so that a picture a plug-in
 * decoded in the helper reaches the program without being copied.
 *
 * A file crosses sealed against shrinking, growing and writing: the receiver
 * maps it, and nothing the plug-in left behind (a forked process holding the
 * descriptor, say) can cut the file under that mapping.
 */
#ifndef KELVORA_LOCAL_FILE_H
#define KELVORA_LOCAL_FILE_H

#include "kelvora/susie.h"

#define KELVORA_LOCAL_FILE_FROM (1024u * 1024u)

/* The memory file of a live block of this process, or -1 for a block in
 * ordinary memory or one adopted from another process. */
SUSIE_EXPORT int KelvoraLocalFile(HLOCAL hMem);
/* Hands a block that lives in a memory file over to another process: unmaps
 * it here, cuts the file to the header and the block's size, and seals it.
 * Returns the file, which the caller then owns; the block is no longer live
 * here, whatever the outcome (LocalFree of it does nothing). -1 when it is no
 * live block in a memory file (errno EINVAL; the block is left alone), or when
 * the file cannot be sealed because it is still mapped writable elsewhere
 * (errno EBUSY) or was cut meanwhile. */
SUSIE_EXPORT int KelvoraLocalSeal(HLOCAL hMem);
/* A memory file sealed as above by another process, holding the header and
 * exactly `size` bytes, as a live block of this one: mapped privately, so
 * that writes stay in this process. Takes over the descriptor (closed in any
 * case); NULL when the seals or the size are not those, or it cannot be mapped. */
SUSIE_EXPORT HLOCAL KelvoraLocalAdopt(int file, size_t size);

#endif
