// Translation unit that keeps the library non-empty while its modules are added.
