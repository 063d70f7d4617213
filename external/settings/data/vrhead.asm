# VELDAN assembly: the standard VR head.
name = "VELDAN VR head"
description = "Two-axis panorama head with horizontal drive, vertical drive and control module"
