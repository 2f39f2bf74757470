#!/bin/sh
# cpack's strip, as Debian strips: the compiler's .comment goes too.
exec strip --remove-section=.comment "$@"
