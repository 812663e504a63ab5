// Help files made to cost the HTML edition much while being small: each
// is a few kilobytes to a few hundred, and would give hundreds of
// megabytes or minutes of work to an edition without bounds.
#pragma once

#include <cstddef>

#include "help_builder.h"

namespace hlptest {

// One popup topic of about popup_bytes characters, `ids` context ids naming
// it, and `pages` topics that each open it through every id.
Bytes popup_bomb_file(size_t pages, size_t ids, size_t popup_bytes);
// A topic with a title of title_length characters that one keyword lists
// `listings` times, and `keywords` - 1 more keywords list once.
Bytes keyword_bomb_file(size_t title_length, size_t listings, size_t keywords);
// A picture with `hotspots` macro hotspots, shown `showings` times in each
// of `topics` topics.
Bytes image_map_bomb_file(size_t hotspots, size_t showings, size_t topics);
// `topics` topics whose browse links disagree: each one's previous is the
// one after it.
Bytes backward_browse_file(size_t topics);
// `topics` topics whose context names all fold to one page name ("a____").
Bytes colliding_names_file(size_t topics);
// `copies` topics for each device name (CON, PRN, AUX, NUL, COM1-9,
// LPT1-9), titled and named with it ("CON", then "con.2", "CON.3" ...),
// and a baggage file "NUL.txt".
Bytes device_names_file(size_t copies);
// `pictures` pictures of two images each (extracted as bmN.mrb), each shown
// by a topic and shadowed by a baggage file of that name holding
// "baggage bmN.mrb".
Bytes baggage_like_pictures_file(size_t pictures);

}  // namespace hlptest
