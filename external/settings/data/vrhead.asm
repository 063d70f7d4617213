# VELDAN head assembly: the standard VR head.
#
# The control library reads this file when the configuration names no other
# edition. Lines are "key = value"; "#" starts a comment.

name = "VELDAN VR head"
description = "Two-axis panorama head: horizontal drive, vertical drive and control module with camera contacts"

# Default shooting pattern, used when a run starts with an empty script.
# row = <vertical angle> <shots in the row> [<first horizontal angle>]
# A full sphere for a lens of about 24 mm on a full-frame camera in
# portrait orientation: horizon, one row above and below, zenith and nadir.
row = 0 12
row = 45 8 22.5
row = -45 8 22.5
row = 90 1
row = -90 1
