#!/bin/sh
# help2man runs this in place of the program named by TL_MAN_PROGRAM. help2man takes the
# synopsis from a help text that begins "Usage:"; the programs begin theirs with
# "usage:", as they always did, and only that one letter is raised here.
"$TL_MAN_PROGRAM" "$@" | sed '1s/^usage:/Usage:/'
