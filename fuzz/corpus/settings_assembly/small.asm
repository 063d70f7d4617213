name = "Rig"
row = 0 6 # six
ROW=-30 4 45
