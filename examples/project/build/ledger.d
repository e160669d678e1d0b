ledger.o: src/ledger.c
	cc -c -o ledger.o src/ledger.c   # built on 1999-12-31
