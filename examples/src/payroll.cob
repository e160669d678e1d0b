       IDENTIFICATION DIVISION.
       PROGRAM-ID. PAYROLL.
       DATA DIVISION.
       WORKING-STORAGE SECTION.
       01  WS-TODAY.
           05  WS-YY          PIC 99.
           05  WS-MM          PIC 99.
           05  WS-DD          PIC 99.
       01  WS-TOTAL           PIC 9(7)V99.
       PROCEDURE DIVISION.
           ACCEPT WS-TODAY FROM DATE.
           IF WS-YY < 50
               DISPLAY "NEW CENTURY"
           END-IF.
           STOP RUN.
