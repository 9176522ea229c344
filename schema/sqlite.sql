-- The store's tables on SQLite. Declared types use SQL Server's names: the
-- data layer reads kinds and lengths from them (varchar lengths in GBK bytes,
-- nvarchar lengths in UTF-16 units). Members and entries are numbered from
-- AutoSerialNo; category rows get their key from the store.
PRAGMA journal_mode=WAL;
BEGIN;
CREATE TABLE VipCardType(
  VCT_ID INTEGER PRIMARY KEY AUTOINCREMENT,
  VCT_No varchar(10) NOT NULL UNIQUE,
  VCT_Name nvarchar(40),
  VCT_BaoFangPriceID int,
  VCT_JiuBaPriceID int,
  VCT_ChaoShiPriceID int);
CREATE TABLE VipCardMaster(
  VCM_ID int NOT NULL PRIMARY KEY,
  VCT_No varchar(10),
  VCM_CardID varchar(50),
  VCM_CardNo varchar(50),
  VCM_GuestName nvarchar(50),
  VCM_Sex char(1),
  VCM_MobileNo varchar(20),
  VCM_CreateDate varchar(10),
  VCM_EndDate varchar(10),
  VCM_Balance varchar(20),
  VCM_BalancePayed varchar(20),
  VCM_BalanceFree varchar(20),
  VCM_BalanceE varchar(100));
CREATE TABLE VIPCardDetail(
  VCD_ID int NOT NULL PRIMARY KEY,
  VCM_ID varchar(20),
  VCD_Flag char(1),
  VCD_SysDate varchar(10),
  VCD_DateTime datetime,
  VCD_Descript nvarchar(50),
  VCD_CRMoney float,
  VCD_Balance float,
  VCD_ClerkName nvarchar(20),
  VCD_KaZengBalance float,
  VCD_KaZengBeginDate varchar(10),
  VCD_KaZengEndDate varchar(10));
CREATE TABLE AutoSerialNo(
  ASN_TYPE varchar(50) NOT NULL PRIMARY KEY,
  ASN_NO int NOT NULL DEFAULT 0);
CREATE TABLE Qx_SysPara(
  SP_Name nvarchar(50) NOT NULL PRIMARY KEY,
  SP_Value nvarchar(100));
COMMIT;
