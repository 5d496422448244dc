rem nothing
  REMARK x
REMAINING_QTY,
-- REM x
/* note */ REM x
