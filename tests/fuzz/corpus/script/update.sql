UPDATE T SET A = 1
  select * from tSELECTED
