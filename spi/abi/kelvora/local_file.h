/*
 * Local memory blocks shared between processes: the program's extension to
 * the local memory functions, for its decoding helper. Blocks of
 * KELVORA_LOCAL_FILE_FROM bytes or more live in a memory file that holds the
 * block's 32-byte header and then its data, so that a picture a plug-in
 * decoded in the helper reaches the program without being copied.
 */
#ifndef KELVORA_LOCAL_FILE_H
#define KELVORA_LOCAL_FILE_H

#include "kelvora/susie.h"

#define KELVORA_LOCAL_FILE_FROM (1024u * 1024u)

/* The memory file of a live block, or -1 for a block in ordinary memory. */
SUSIE_EXPORT int KelvoraLocalFile(HLOCAL hMem);
/* A memory file of the form above, written by another process, as a live block
 * of this one (mapped privately; the size is the smaller of the header's and
 * what the file holds). Takes over the descriptor; NULL when the file is too
 * short or cannot be mapped (the descriptor is closed then too). */
SUSIE_EXPORT HLOCAL KelvoraLocalAdopt(int file);

#endif
