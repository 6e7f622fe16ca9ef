200
42
first record;1;2;3
second record;4;5;6
