200
5
seventh file of the set
