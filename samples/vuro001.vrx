200
-3
negative header value
